// Bit stream over the codec's bit buffer. Bit k of a block is bit k % 8 of
// byte k / 8, and fields are stored least significant bit first, so every
// field is one unaligned little-endian 32-bit access, without a bit loop.
#include <bit>
#include <cstring>

#include "lzx/codec.h"
#include "updater/error.h"

static_assert(std::endian::native == std::endian::little, "the bit stream uses LE word access");

namespace {

// A word access at this byte index or below stays inside the padded buffer.
constexpr uint32_t kLastWordByte = sizeof(Codec::bitBuf) - 4;

inline uint32_t loadWord(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

}  // namespace

void BitPut(Codec& c, int n, uint32_t value) {
    // A negative bitPos turns into a huge index and is refused as well.
    uint32_t at = static_cast<uint32_t>(c.bitPos) >> 3;
    if (at > kLastWordByte) fatalError("BitPut: buffer full");
    uint32_t k = c.bitPos & 7;
    uint8_t* p = c.bitBuf + at;
    // Keep the k bits already in the first byte; whatever lies above the new
    // field is scratch that the next field (or the fill bits) overwrites.
    uint32_t w = ((value & ((1u << n) - 1)) << k) | (loadWord(p) & ((1u << k) - 1));
    std::memcpy(p, &w, 4);
    c.bitPos += n;
}

uint32_t BitPeek(const Codec& c) {
    uint32_t at = static_cast<uint32_t>(c.bitPos) >> 3;
    if (at > kLastWordByte) fatalError("BitPeek: read past buffer");
    return (loadWord(c.bitBuf + at) >> (c.bitPos & 7)) & 0xFFFFFF;
}

void BitSkip(Codec& c, int n) {
    c.bitPos += n;
}

uint32_t BitGet(Codec& c, int n) {
    uint32_t v = BitPeek(c) & ((1u << n) - 1);
    c.bitPos += n;
    return v;
}
