// Huffman-only block codec: every byte of the block in one 256-symbol
// Huffman code built for the block, without any search for repeats.
#include "base/error.h"
#include "lzx/bitio.h"
#include "lzx/codec.h"

int32_t HufPack(Codec& c, int32_t n) {
    if (n < 0 || n > kCodecBlock) fatalError("HufPack: bad byte count");
    const uint8_t* b = c.byteBuf;
    int32_t counts[256] = {};
    for (int32_t i = 0; i < n; i++) counts[b[i]]++;
    c.bitPos = 0;
    FresTable& t = c.symbols;
    FresInit(t, 256);
    for (int v = 0; v < 256; v++) t.freq[v] += static_cast<uint32_t>(counts[v]) << 16;
    FresLengths(c, t);
    SendLens(c, t);
    LenToVal(t);
    lzx_bits::Writer w(c);
    for (int32_t i = 0; i < n; i++) {
        w.put(t.len[b[i]], static_cast<uint32_t>(t.code[b[i]]));
        w.spill();
    }
    w.flush();
    int32_t bits = c.bitPos;
    while (c.bitPos & 7) BitPut(c, 1, 0);
    if (c.bitPos > kPackedBitsMax) fatalError("HufPack: buffer full");
    return bits;
}

// HufUnpack shares the LZ decoder's loop (lz.cpp).
