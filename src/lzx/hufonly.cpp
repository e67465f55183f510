// Huffman-only block codec: every byte of the block in one 256-symbol
// Huffman code built for the block, without any search for repeats.
#include "lzx/bitio.h"
#include "lzx/codec.h"
#include "updater/error.h"

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
    for (int32_t i = 0; i < n; i++)
        lzx_bits::put(c, t.len[b[i]], static_cast<uint32_t>(t.code[b[i]]));
    int32_t bits = c.bitPos;
    while (c.bitPos & 7) BitPut(c, 1, 0);
    if (c.bitPos > kPackedBitsMax) fatalError("HufPack: buffer full");
    return bits;
}

int32_t HufUnpack(Codec& c, int32_t bits) {
    // B must fit the bit buffer; this also keeps every peek inside its padding.
    if (bits < 0 || bits > kMaxBlockBits) fatalError("HufUnpack: bad bit count");
    c.bitPos = 0;
    RecvLens(c, c.symbols, 256);
    LenToVal(c.symbols);
    MakeLookup(c, c.symbols);
    int32_t p = 0, pos = c.bitPos;
    while (pos < bits) {
        if (p >= kCodecBufSize) fatalError("HufUnpack: output buffer full");
        c.byteBuf[p++] = static_cast<uint8_t>(lzx_bits::decodeAt(c, c.symbols, pos));
    }
    c.bitPos = pos;
    if (c.bitPos != bits) fatalError("HufUnpack: too many bits read");
    return p;
}
