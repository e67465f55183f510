// Unaligned little-endian word loads for the codecs' word-at-a-time loops.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the codecs read words little-endian");

namespace lzx_words {

inline uint32_t load32(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline void store16(uint8_t* p, uint16_t w) {
    std::memcpy(p, &w, 2);
}

}  // namespace lzx_words
