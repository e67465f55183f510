// Bit stream over the codec's bit buffer. Bit k of a block is bit k % 8 of
// byte k / 8, and fields are stored least significant bit first, so every
// field is one unaligned little-endian 32-bit access, without a bit loop.
#include "lzx/bitio.h"
#include "lzx/codec.h"

void BitPut(Codec& c, int n, uint32_t value) {
    lzx_bits::put(c, n, value);
}

uint32_t BitPeek(const Codec& c) {
    return lzx_bits::peek(c);
}

void BitSkip(Codec& c, int n) {
    c.bitPos += n;
}

uint32_t BitGet(Codec& c, int n) {
    return lzx_bits::get(c, n);
}
