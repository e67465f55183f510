// The archive carried inside the installer, generated at build time.
#pragma once

#include <cstdint>

extern const unsigned char kPayload[];
extern const int32_t kPayloadSize;
// CRC-32 of the payload's bytes, computed when the installer was built.
extern const uint32_t kPayloadCrc;
