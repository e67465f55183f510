// LZ block codec: a greedy LZ77 parse over a 1024-byte window whose literals
// and references share one 400-symbol Huffman code built for the block.
// A reference symbol is 256 + 16 * lb + db, where lb and db are the bit
// widths of l = length - 3 and d = distance - 1; the codes themselves follow
// as extra bits without their (implied) top bit.
#include <bit>
#include <cstring>

#include "lzx/bitio.h"
#include "lzx/codec.h"
#include "base/error.h"

namespace {

constexpr uint32_t kRefFlag = 0x100;  // item bit 8: a reference

inline uint32_t load32(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

inline uint32_t hashAt(const uint8_t* b) {
    uint32_t h = b[0] + 4u * b[1] + 32u * b[2] + 512u * b[3];
    return (h ^ (h >> 10)) & (kLzHashSize - 1);
}

// Reads a code of `width` significant bits whose top bit is implied.
inline int32_t getCode(const Codec& c, int width, int32_t& pos) {
    if (width <= 1) return width;
    return static_cast<int32_t>(lzx_bits::getAt(c, width - 1, pos)) + (1 << (width - 1));
}

// One item at bit `pos`: returns the symbol, and for a reference l and d.
inline int32_t decodeItemAt(const Codec& c, int32_t& l, int32_t& d, int32_t& pos) {
    int32_t s = lzx_bits::decodeAt(c, c.symbols, pos);
    if (s < 256) return s;
    int32_t t = s - 256;
    l = getCode(c, t >> 4, pos);
    d = getCode(c, t & 15, pos);
    return s;
}

}  // namespace

int32_t FindMatch(const Codec& c, int32_t i, int32_t m, int32_t& distance) {
    if (m < kLzMinMatch) return 0;
    if (m > kLzMaxMatch) m = kLzMaxMatch;
    const uint8_t* b = c.byteBuf;
    const uint8_t* cur = b + i;
    int32_t low = i - kLzWindow < 0 ? 0 : i - kLzWindow;
    int32_t best = 0;
    // Candidates come newest first and only a longer match replaces the
    // best, so among equal lengths the nearest wins.
    for (int32_t p = c.chain[i]; p >= low; p = c.chain[p]) {
        const uint8_t* cand = b + p;
        // Anything that can beat `best` must also agree at offset best.
        if (cand[best] != cur[best]) continue;
        // The candidate may run into position i: overlapping matches are fine.
        int32_t k = 0;
        while (k + 4 <= m && load32(cand + k) == load32(cur + k)) k += 4;
        while (k < m && cand[k] == cur[k]) k++;
        if (k > best) {
            best = k;
            distance = i - p;
            if (k >= m) break;
        }
    }
    return best;
}

void HufOutLit(Codec& c, uint8_t byte) {
    if (c.itemCount >= kCodecBlock) fatalError("HufOutLit: buffer full");
    c.items[c.itemCount++] = byte;
    c.symbols.freq[byte] += 0x10000;
}

void HufOutRef(Codec& c, int32_t l, int32_t d) {
    if (c.itemCount >= kCodecBlock) fatalError("HufOutRef: buffer full");
    uint32_t lb = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(l)));
    uint32_t db = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(d)));
    uint32_t sym = 256 + 16 * lb + db;
    c.items[c.itemCount++] = sym | static_cast<uint32_t>(l) << 9 | static_cast<uint32_t>(d) << 17;
    c.symbols.freq[sym] += 0x10000;
}

void EmitItems(Codec& c) {
    FresTable& t = c.symbols;
    FresLengths(c, t);
    SendLens(c, t);
    LenToVal(t);
    for (int32_t k = 0; k < c.itemCount; k++) {
        uint32_t item = c.items[k];
        uint32_t s = item & 0x1FF;
        lzx_bits::put(c, t.len[s], static_cast<uint32_t>(t.code[s]));
        if (!(item & kRefFlag)) continue;
        // BitPut keeps only the low width - 1 bits, dropping the implied top bit.
        int lb = (s >> 4) & 15, db = s & 15;
        if (lb > 1) lzx_bits::put(c, lb - 1, (item >> 9) & 0xFF);
        if (db > 1) lzx_bits::put(c, db - 1, item >> 17);
    }
}

int32_t LzxPack(Codec& c, int32_t n) {
    // The chains and the item buffer hold one block.
    if (n < 0 || n > kCodecBlock) fatalError("LzxPack: bad byte count");
    const uint8_t* b = c.byteBuf;
    // All positions enter the chains before matching starts. The last three
    // hash bytes beyond n never matter: such positions start no match.
    for (int16_t& h : c.hashHead) h = -1;
    for (int32_t i = 0; i < n; i++) {
        uint32_t h = hashAt(b + i);
        c.chain[i] = c.hashHead[h];
        c.hashHead[h] = static_cast<int16_t>(i);
    }
    c.bitPos = 0;
    FresInit(c.symbols, kLzSymbols);
    c.itemCount = 0;
    // Greedy: a match found is always taken, there is no lazy evaluation.
    for (int32_t i = 0; i < n;) {
        int32_t dist = 0;
        int32_t len = FindMatch(c, i, n - i, dist);
        if (len >= kLzMinMatch) {
            HufOutRef(c, len - 3, dist - 1);
            i += len;
        } else {
            HufOutLit(c, b[i++]);
        }
    }
    EmitItems(c);
    int32_t bits = c.bitPos;
    while (c.bitPos & 7) BitPut(c, 1, 0);
    if (c.bitPos > kPackedBitsMax) fatalError("LzxPack: buffer full");
    return bits;
}

int32_t DecodeItem(Codec& c, int32_t& l, int32_t& d) {
    return decodeItemAt(c, l, d, c.bitPos);
}

int32_t LzxUnpack(Codec& c, int32_t bits) {
    // B must fit the bit buffer; this also keeps every peek inside its padding.
    if (bits < 0 || bits > kMaxBlockBits) fatalError("LzxUnpack: bad bit count");
    c.bitPos = 0;
    RecvLens(c, c.symbols, kLzSymbols);
    LenToVal(c.symbols);
    MakeLookup(c, c.symbols);
    uint8_t* out = c.byteBuf;
    int32_t p = 0, pos = c.bitPos;
    while (pos < bits) {
        int32_t l = 0, d = 0;
        int32_t s = decodeItemAt(c, l, d, pos);
        if (s < 256) {
            if (p >= kCodecBufSize) fatalError("LzxUnpack: output buffer full");
            out[p++] = static_cast<uint8_t>(s);
            continue;
        }
        int32_t len = l + 3, dist = d + 1;
        if (dist > p) fatalError("LzxUnpack: reference before block start");
        if (len > kCodecBufSize - p) fatalError("LzxUnpack: output buffer full");
        uint8_t* dst = out + p;
        const uint8_t* src = dst - dist;
        int32_t k = 0;
        // From distance 4 on, 4-byte pieces never overlap their own source.
        if (dist >= 4)
            for (; k + 4 <= len; k += 4) std::memcpy(dst + k, src + k, 4);
        for (; k < len; k++) dst[k] = src[k];
        p += len;
    }
    c.bitPos = pos;
    if (c.bitPos != bits) fatalError("LzxUnpack: too many bits read");
    return p;
}
