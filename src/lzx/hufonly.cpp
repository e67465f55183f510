// Huffman-only block codec: every byte of the block in one 256-symbol
// Huffman code built for the block, without any search for repeats.
#include "lzx/bitio.h"
#include "lzx/codec.h"
#include "base/error.h"

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
    for (int32_t i = 0; i < n; i++) w.put(t.len[b[i]], static_cast<uint32_t>(t.code[b[i]]));
    w.flush();
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
    const FresTable& t = c.symbols;
    const uint16_t* table = c.fast.lookupLen;
    uint8_t* out = c.byteBuf;
    int32_t p = 0, pos = c.bitPos;
    // Fast path, kBatch table steps per 64-bit load; a step yields one or
    // two bytes. A step takes at most kMaxCodeLen bits (10 from the table),
    // so with more than kBatch * kMaxCodeLen bits left every code of the
    // batch starts before B, and a reload inside it stays in the buffer.
    // Room for two bytes a step is checked once for all; a step of one byte
    // also stores a second, which the next byte overwrites (one always
    // follows the batch, as it ends before B).
    constexpr int kBatch = 5;
    static_assert(kBatch * kLookupBits <= 57);
    const uint32_t* pairs = c.fast.lookupPair;
    for (int32_t j = 0; j < 1024; j++) {
        uint32_t e = table[j];
        uint32_t n = e & lzx_bits::kEntryLenMask;
        if (e == 0) {
            c.fast.lookupPair[j] = 0;
            continue;
        }
        uint32_t pair = n | 1u << 6 | (e >> lzx_bits::kEntrySymShift) << 8;
        // A second code that ends inside the 10 bits joins the first.
        uint32_t e2 = table[j >> n];
        uint32_t n2 = e2 & lzx_bits::kEntryLenMask;
        if (e2 != 0 && n + n2 <= kLookupBits)
            pair = (n + n2) | 2u << 6 | (pair & 0xFF00) | (e2 >> lzx_bits::kEntrySymShift) << 16;
        c.fast.lookupPair[j] = pair;
    }
    while (bits - pos > kBatch * kMaxCodeLen && p <= kCodecBufSize - 2 * kBatch) {
        uint64_t w = lzx_bits::peek64At(c, pos);
        for (int k = 0; k < kBatch; k++) {
            uint32_t e = pairs[w & lzx_bits::kLookupMask];
            if (e == 0) {
                out[p++] = static_cast<uint8_t>(lzx_bits::decodeLongAt(c, t, pos));
                w = lzx_bits::peek64At(c, pos);
                continue;
            }
            out[p] = static_cast<uint8_t>(e >> 8);
            out[p + 1] = static_cast<uint8_t>(e >> 16);
            p += static_cast<int32_t>((e >> 6) & 3);
            uint32_t n = e & lzx_bits::kEntryLenMask;
            pos += static_cast<int32_t>(n);
            w >>= n;
        }
    }
    // The last symbols one at a time, each checked against B and the room.
    while (pos < bits) {
        if (p >= kCodecBufSize) fatalError("HufUnpack: output buffer full");
        out[p++] = static_cast<uint8_t>(lzx_bits::decodeAt(c, t, pos));
    }
    c.bitPos = pos;
    if (c.bitPos != bits) fatalError("HufUnpack: too many bits read");
    return p;
}
