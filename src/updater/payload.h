// The archive carried inside the installer, generated at build time.
#pragma once

#include <cstdint>

extern const unsigned char kPayload[];
extern const int32_t kPayloadSize;
