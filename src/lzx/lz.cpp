// LZ block codec: a greedy LZ77 parse over a 1024-byte window whose literals
// and references share one 400-symbol Huffman code built for the block.
// A reference symbol is 256 + 16 * lb + db, where lb and db are the bit
// widths of l = length - 3 and d = distance - 1; the codes themselves follow
// as extra bits without their (implied) top bit.
#include <array>
#include <bit>
#include <cstring>

#include "base/error.h"
#include "lzx/bitio.h"
#include "lzx/codec.h"
#include "lzx/words.h"

namespace {

using lzx_words::load32;
using lzx_words::load64;

// Any hash of the next 4 bytes gives the same parse: a match of 4 bytes or
// more can only come from a position with the same 4 bytes, which this
// hash puts on the same chain, and the others never beat a 4-byte match.
// A multiplicative hash spreads them better than a sum of shifted bytes.
inline uint32_t hashAt(const uint8_t* b) {
    return (load32(b) * 2654435761u) >> (32 - kLzHashBits);
}

// Extra-bit widths of each LZ symbol: the length code's in bits 0..3, the
// distance code's in 4..7; none for literals.
constexpr auto kExtraWidths = [] {
    std::array<uint8_t, kLzSymbols> w{};
    for (int s = 256; s < kLzSymbols; s++) {
        int lb = (s - 256) >> 4, db = (s - 256) & 15;
        w[s] = static_cast<uint8_t>((lb > 1 ? lb - 1 : 0) | (db > 1 ? db - 1 : 0) << 4);
    }
    return w;
}();

// The length and distance codes of a reference entry from the bits that
// follow its symbol code; returns the number of extra bits taken.
inline void refCodes(uint32_t e, uint64_t extra, int32_t& l, int32_t& d) {
    uint32_t lx = (e >> 8) & 15, dx = (e >> 12) & 15;
    l = static_cast<int32_t>(((e >> 16 & 1) << lx) + (extra & ((1u << lx) - 1)));
    extra >>= lx;
    d = static_cast<int32_t>(((e >> 17 & 1) << dx) + (extra & ((1u << dx) - 1)));
}

// One item at bit `pos` (MakeDecodeTable first): returns the symbol's entry,
// and for a reference l and d.
inline uint32_t decodeItemAt(const Codec& c, int32_t& l, int32_t& d, int32_t& pos) {
    uint32_t bits = lzx_bits::peekAt(c, pos);
    uint32_t e = lzx_bits::entryAt(c, c.symbols, bits);
    if (lzx_bits::entryKind(e) == lzx_bits::kKindReference) {
        refCodes(e, lzx_bits::peekAt(c, pos + static_cast<int32_t>(lzx_bits::entryCodeLength(e))),
                 l, d);
        pos += static_cast<int32_t>(e & lzx_bits::kEntryLenMask);
    } else {
        // One item only: a paired literal's second byte is the next item.
        pos += static_cast<int32_t>(lzx_bits::entryCodeLength(e));
    }
    return e;
}

inline int32_t entrySymbol(uint32_t e) {
    if (lzx_bits::entryKind(e) == lzx_bits::kKindLiteral)
        return static_cast<int32_t>((e >> 8) & 0xFF);
    uint32_t lx = (e >> 8) & 15, dx = (e >> 12) & 15;
    uint32_t lb = lx ? lx + 1 : (e >> 16) & 1, db = dx ? dx + 1 : (e >> 17) & 1;
    return static_cast<int32_t>(256 + 16 * lb + db);
}

// Stores the one or two literals of a table entry and consumes their bits.
// Two bytes are stored either way; a single literal's second is scratch
// that the next item overwrites.
template <bool kPairs>
inline void putLiteral(uint32_t e, uint64_t& buf, uint32_t& avail, uint8_t* out, int32_t& p) {
    uint32_t n = e & lzx_bits::kEntryLenMask;
    buf >>= n;
    avail -= n;
    if constexpr (kPairs) {
        lzx_words::store16(out + p, static_cast<uint16_t>(e >> 8));
        p += static_cast<int32_t>(e >> lzx_bits::kLiteralCountShift);
    } else {
        out[p++] = static_cast<uint8_t>(e >> 8);
    }
}

// Copies a reference's bytes from dist back, in increasing order so that a
// distance below the length repeats the last dist bytes. May write up to 15
// bytes past the end, which the caller leaves room for.
inline void copyMatch(uint8_t* dst, int32_t dist, int32_t len) {
    const uint8_t* src = dst - dist;
    uint8_t* end = dst + len;
    if (dist >= 8) {
        // Each 8-byte piece reads only bytes written before it.
        do {
            std::memcpy(dst, src, 8);
            std::memcpy(dst + 8, src + 8, 8);
            dst += 16;
            src += 16;
        } while (dst < end && dist >= 16);
        while (dst < end) {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        }
    } else if (dist == 1) {
        uint64_t v = src[0] * 0x0101010101010101u;
        do {
            std::memcpy(dst, &v, 8);
            dst += 8;
        } while (dst < end);
    } else {
        while (dst < end) *dst++ = *src++;
    }
}

}  // namespace

namespace {

// FindMatch's body, inlined into the packer's loop.
[[gnu::always_inline]] inline int32_t findMatch(const Codec& c, int32_t i, int32_t m,
                                                int32_t& distance) {
    if (m < kLzMinMatch) return 0;
    if (m > kLzMaxMatch) m = kLzMaxMatch;
    const uint8_t* b = c.byteBuf;
    const uint8_t* cur = b + i;
    const uint32_t head = load32(cur);
    int32_t low = i - kLzWindow < 0 ? 0 : i - kLzWindow;
    int32_t best = 0;
    // Candidates come newest first and only a longer match replaces the
    // best, so among equal lengths the nearest wins. A candidate whose first
    // 4 bytes differ yields less than the shortest match and is passed over
    // (whatever it yielded, any match taken would replace it).
    for (int32_t p = c.chain[i]; p >= low; p = c.chain[p]) {
        const uint8_t* cand = b + p;
        // Anything that can beat `best` must also agree on the four bytes
        // up to offset best (best is 0 or at least 4).
        if (load32(cand) != head) continue;
        if (best != 0 && load32(cand + best - 3) != load32(cur + best - 3)) continue;
        // The candidate may run into position i: overlapping matches are fine.
        int32_t k = 4;
        for (;;) {
            if (k + 8 > m) {
                while (k < m && cand[k] == cur[k]) k++;
                break;
            }
            uint64_t x = load64(cand + k) ^ load64(cur + k);
            if (x) {
                k += std::countr_zero(x) >> 3;
                break;
            }
            k += 8;
        }
        if (k > best) {
            best = k;
            distance = i - p;
            if (k >= m) break;
        }
    }
    return best;
}

}  // namespace

int32_t FindMatch(const Codec& c, int32_t i, int32_t m, int32_t& distance) {
    return findMatch(c, i, m, distance);
}

void HufOutLit(Codec& c, uint8_t byte) {
    if (c.itemCount >= kCodecBlock) fatalError("HufOutLit: buffer full");
    c.items[c.itemCount++] = byte;
    c.symbols.freq[byte] += 0x10000;
}

namespace {

// A reference item: its symbol 256 + 16 * lb + db, l above bit 9, d above bit 17.
inline uint32_t refItem(int32_t l, int32_t d) {
    uint32_t lb = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(l)));
    uint32_t db = static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(d)));
    return (256 + 16 * lb + db) | static_cast<uint32_t>(l) << 9 | static_cast<uint32_t>(d) << 17;
}

}  // namespace

void HufOutRef(Codec& c, int32_t l, int32_t d) {
    if (c.itemCount >= kCodecBlock) fatalError("HufOutRef: buffer full");
    uint32_t item = refItem(l, d);
    c.items[c.itemCount++] = item;
    c.symbols.freq[item & 0x1FF] += 0x10000;
}

void EmitItems(Codec& c) {
    FresTable& t = c.symbols;
    FresLengths(c, t);
    SendLens(c, t);
    LenToVal(t);
    // Per symbol: its code, and how its item's l and d become the extra
    // bits (the codes without their implied top bit; a literal takes none).
    struct Out {
        uint32_t code, maskL, maskD;
        uint8_t len, lx, bits;  // code length, l's width, all bits of the item
    };
    Out out[kLzSymbols];
    for (int s = 0; s < t.count; s++) {
        uint32_t x = kExtraWidths[s], lx = x & 15, dx = x >> 4;
        out[s] = {static_cast<uint32_t>(t.code[s]),
                  (1u << lx) - 1,
                  (1u << dx) - 1,
                  t.len[s],
                  static_cast<uint8_t>(lx),
                  static_cast<uint8_t>(t.len[s] + lx + dx)};
    }
    // An item's bits, its code first.
    auto bitsOf = [&](uint32_t item, const Out& o) {
        uint64_t extra = ((item >> 9) & o.maskL) | static_cast<uint64_t>((item >> 17) & o.maskD)
                                                       << o.lx;
        return o.code | extra << o.len;
    };
    lzx_bits::Writer w(c);
    const uint32_t* items = c.items;
    const int32_t count = c.itemCount;
    int32_t k = 0;
    // Two items per spill where they fit its 56 bits, as literals and short
    // references nearly always do.
    for (; k + 1 < count; k += 2) {
        uint32_t a = items[k], b = items[k + 1];
        const Out& oa = out[a & 0x1FF];
        const Out& ob = out[b & 0x1FF];
        uint64_t va = bitsOf(a, oa), vb = bitsOf(b, ob);
        if (oa.bits + ob.bits <= 56) {
            w.putWide(oa.bits + ob.bits, va | vb << oa.bits);
        } else {
            w.putWide(oa.bits, va);
            w.spill();
            w.putWide(ob.bits, vb);
        }
        w.spill();
    }
    if (k < count) {
        const Out& o = out[items[k] & 0x1FF];
        w.putWide(o.bits, bitsOf(items[k], o));
    }
    w.flush();
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
    // Greedy: a match found is always taken, there is no lazy evaluation.
    // Each item covers at least one byte, so the n items fit the buffer.
    uint32_t* items = c.items;
    int32_t k = 0;
    for (int32_t i = 0; i < n;) {
        int32_t dist = 0, len = 0;
        // No call where the chain holds no candidate inside the window.
        if (c.chain[i] >= i - kLzWindow && c.chain[i] >= 0) len = findMatch(c, i, n - i, dist);
        if (len >= kLzMinMatch) {
            items[k++] = refItem(len - 3, dist - 1);
            i += len;
        } else {
            items[k++] = b[i++];
        }
    }
    c.itemCount = k;
    // The symbol counts, in two tables so that a run of one symbol does not
    // wait on its own previous count.
    uint32_t counts[2][kLzSymbols] = {};
    int32_t j = 0;
    for (; j + 1 < k; j += 2) {
        counts[0][items[j] & 0x1FF]++;
        counts[1][items[j + 1] & 0x1FF]++;
    }
    if (j < k) counts[0][items[j] & 0x1FF]++;
    FresInit(c.symbols, kLzSymbols);
    for (int s = 0; s < kLzSymbols; s++) c.symbols.freq[s] += (counts[0][s] + counts[1][s]) << 16;
    EmitItems(c);
    int32_t bits = c.bitPos;
    while (c.bitPos & 7) BitPut(c, 1, 0);
    if (c.bitPos > kPackedBitsMax) fatalError("LzxPack: buffer full");
    return bits;
}

int32_t DecodeItem(Codec& c, int32_t& l, int32_t& d) {
    return entrySymbol(decodeItemAt(c, l, d, c.bitPos));
}

namespace {

// The items of a block after its length header, into byteBuf; returns the
// byte count. Serves the LZ and the Huffman-only coder alike: a 256-symbol
// table holds only literals. `who` names the caller in error messages.
template <bool kPairs>
[[gnu::always_inline]] inline int32_t unpackItemsWith(Codec& c, int32_t bits, const char* who) {
    const uint32_t* table = c.decodeTable;
    uint8_t* out = c.byteBuf;
    int32_t p = 0;

    // Fast loop: a 64-bit bit buffer refilled without branches to 56..63
    // bits before each step, which is enough for the longest item (a 24-bit
    // code and 21 extra bits). A step is up to four root entries of one or
    // two literals (each at most kDecodeRootBits bits) and possibly one more
    // item (after a second refill when two entries or more came first): at
    // most 8 + 258 bytes. It runs while a step surely ends before B and fits the output
    // with a copy's 16-byte overrun; the rest goes through the checked loop
    // below.
    const int32_t inEnd = (bits >> 3) - 16;
    constexpr int32_t kOutEnd = kCodecBufSize - 8 - 258 - 16;
    int32_t pos = c.bitPos;
    if ((pos >> 3) < inEnd) {
        lzx_bits::Reader r(c, pos);
        uint64_t& buf = r.buf;
        uint32_t& avail = r.avail;
        // Each step starts with the root entry of its first item already
        // looked up: every step leaves at least kDecodeRootBits bits, and a
        // refill leaves the bits under that entry as they are, so the next
        // lookup need not wait for the refill's load.
        uint32_t e = table[buf & lzx_bits::kDecodeRootMask];
        while (r.in - c.bitBuf < inEnd && p <= kOutEnd) {
            r.refill();
            // Literals from the root take at most kDecodeRootBits each: four
            // leave 12 of the refill's 56 bits, and after one the refill
            // still covers any item that follows.
            if (lzx_bits::entryKind(e) == lzx_bits::kKindLiteral) {
                int more = 0;
                do {
                    putLiteral<kPairs>(e, buf, avail, out, p);
                    e = table[buf & lzx_bits::kDecodeRootMask];
                } while (lzx_bits::entryKind(e) == lzx_bits::kKindLiteral && ++more < 4);
                if (lzx_bits::entryKind(e) == lzx_bits::kKindLiteral) continue;
                // Two literals or more may leave too few bits for an item.
                if (more > 0) r.refill();
            }
            if (lzx_bits::entryKind(e) >= lzx_bits::kKindSubtable) {
                e = lzx_bits::entryAt(c, c.symbols, static_cast<uint32_t>(buf));
                if (lzx_bits::entryKind(e) == lzx_bits::kKindLiteral) {
                    putLiteral<kPairs>(e, buf, avail, out, p);
                    e = table[buf & lzx_bits::kDecodeRootMask];
                    continue;
                }
            }
            int32_t l, d;
            // A reference's entry has nothing above its code length.
            refCodes(e, buf >> (e >> lzx_bits::kFirstLenShift), l, d);
            uint32_t n = e & lzx_bits::kEntryLenMask;
            buf >>= n;
            avail -= n;
            e = table[buf & lzx_bits::kDecodeRootMask];
            if (d + 1 > p) fatalError("%s: reference before block start", who);
            copyMatch(out + p, d + 1, l + 3);
            p += l + 3;
        }
        pos = r.pos(c);
    }

    // The last items one at a time, each checked against B and the room.
    while (pos < bits) {
        int32_t l = 0, d = 0;
        uint32_t e = decodeItemAt(c, l, d, pos);
        if (lzx_bits::entryKind(e) == lzx_bits::kKindLiteral) {
            if (p >= kCodecBufSize) fatalError("%s: output buffer full", who);
            out[p++] = static_cast<uint8_t>(e >> 8);
            continue;
        }
        int32_t len = l + 3, dist = d + 1;
        if (dist > p) fatalError("%s: reference before block start", who);
        if (len > kCodecBufSize - p) fatalError("%s: output buffer full", who);
        uint8_t* dst = out + p;
        const uint8_t* src = dst - dist;
        for (int32_t k = 0; k < len; k++) dst[k] = src[k];
        p += len;
    }
    c.bitPos = pos;
    if (c.bitPos != bits) fatalError("%s: too many bits read", who);
    return p;
}

// Pairing literals costs about a write per root entry it fills. A block
// of few bits (mostly long matches) or with few short literal codes does not
// repay it, and decodes its literals one by one.
constexpr int32_t kPairMinBits = 8192;
constexpr int32_t kPairMinSlots = 128;
constexpr int32_t kNoPairs = (1 << kDecodeRootBits) + 1;

// The loop's shifts by a variable count and its masks take fewer
// instructions with BMI2's (about 2% faster); a second copy is built for
// processors that have it, chosen once at load time. Only where the loader
// supports that choice (GNU ifunc), and not under the sanitizers, whose
// runtime is not up yet when the loader makes it.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define VORN_DECODE_CLONES [[gnu::target_clones("default", "bmi2")]]
#else
#define VORN_DECODE_CLONES
#endif

VORN_DECODE_CLONES int32_t decodeItems(Codec& c, int32_t bits, const char* who, bool paired) {
    return paired ? unpackItemsWith<true>(c, bits, who) : unpackItemsWith<false>(c, bits, who);
}

int32_t unpackItems(Codec& c, int32_t bits, const char* who) {
    bool paired = MakeDecodeTable(c, c.symbols, bits >= kPairMinBits ? kPairMinSlots : kNoPairs);
    return decodeItems(c, bits, who, paired);
}

// The length header of a block of B bits for `symbols` symbols.
void readLengths(Codec& c, int32_t bits, int32_t symbols, const char* who) {
    // B must fit the bit buffer; this also keeps every peek inside its padding.
    if (bits < 0 || bits > kMaxBlockBits) fatalError("%s: bad bit count", who);
    c.bitPos = 0;
    RecvLens(c, c.symbols, symbols);
}

}  // namespace

int32_t LzxUnpack(Codec& c, int32_t bits) {
    readLengths(c, bits, kLzSymbols, "LzxUnpack");
    return unpackItems(c, bits, "LzxUnpack");
}

int32_t HufUnpack(Codec& c, int32_t bits) {
    readLengths(c, bits, 256, "HufUnpack");
    return unpackItems(c, bits, "HufUnpack");
}
