// CRC-32 (the reflected polynomial 0xEDB88320 of zip and PNG), so that a
// build can stamp a checksum on data and a program can check it.
#pragma once

#include <cstddef>
#include <cstdint>

// The checksum of `size` bytes; pass an earlier result as `crc` to go on
// over data that comes in pieces.
uint32_t crc32(const void* data, size_t size, uint32_t crc = 0);
