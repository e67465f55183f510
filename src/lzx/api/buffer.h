// LZX1 in memory: a whole buffer to a whole LZX1 file image and back. Errors
// throw lzx::Error (error.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzx/api/error.h"

namespace lzx {

std::vector<uint8_t> compress(const void* data, size_t size, const Options& options = {});
std::vector<uint8_t> decompress(const void* data, size_t size, const Options& options = {});

inline std::vector<uint8_t> compress(const std::vector<uint8_t>& data,
                                     const Options& options = {}) {
    return compress(data.data(), data.size(), options);
}
inline std::vector<uint8_t> decompress(const std::vector<uint8_t>& data,
                                       const Options& options = {}) {
    return decompress(data.data(), data.size(), options);
}

}  // namespace lzx
