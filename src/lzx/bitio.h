// Inline bit access for the coders' inner loops; BitPut, BitPeek and
// DecodeSym are these same operations out of line.
#pragma once

#include <bit>
#include <cstring>

#include "base/error.h"
#include "lzx/codec.h"
#include "lzx/words.h"  // little-endian word access

namespace lzx_bits {

// A word access at this byte index or below stays inside the padded buffer.
constexpr uint32_t kLastWordByte = sizeof(Codec::bitBuf) - 4;

inline void put(Codec& c, int n, uint32_t value) {
    // A negative bitPos turns into a huge index and is refused as well.
    uint32_t at = static_cast<uint32_t>(c.bitPos) >> 3;
    if (at > kLastWordByte) fatalError("BitPut: buffer full");
    uint32_t k = c.bitPos & 7;
    uint8_t* p = c.bitBuf + at;
    // Keep the k bits already in the first byte; whatever lies above the new
    // field is scratch that the next field (or the fill bits) overwrites.
    // Only that byte is read back, which the previous store can forward.
    uint32_t w = ((value & ((1u << n) - 1)) << k) | (p[0] & ((1u << k) - 1));
    std::memcpy(p, &w, 4);
    c.bitPos += n;
}

// The coders' writer for long runs of fields: bits gather in a 64-bit word;
// spill() stores all eight of its bytes and moves on by the whole bytes
// filled, without a branch on how many. The bytes are the same as put()
// writes, and nothing is read back from the buffer. Up to 56 bits may be put
// between spills. It starts at c.bitPos; flush() stores the rest and sets
// c.bitPos.
struct Writer {
    static constexpr uint32_t kLastSpillByte = sizeof(Codec::bitBuf) - 8;
    Codec& c;
    uint64_t acc;
    uint32_t n;     // bits in acc, below 8 after a spill
    uint32_t byte;  // where acc's bit 0 goes
    explicit Writer(Codec& codec)
        : c(codec),
          acc(0),
          n(static_cast<uint32_t>(codec.bitPos) & 7),
          byte(static_cast<uint32_t>(codec.bitPos) >> 3) {
        if (byte > kLastSpillByte) fatalError("BitPut: buffer full");
        acc = c.bitBuf[byte] & ((1u << n) - 1);
    }
    void put(int width, uint32_t value) {
        acc |= static_cast<uint64_t>(value & ((1u << width) - 1)) << n;
        n += static_cast<uint32_t>(width);
    }
    // Up to 56 bits at once; value holds no bits above width.
    void putWide(uint32_t width, uint64_t value) {
        acc |= value << n;
        n += width;
    }
    void spill() {
        if (byte > kLastSpillByte) fatalError("BitPut: buffer full");
        std::memcpy(c.bitBuf + byte, &acc, 8);
        byte += n >> 3;
        acc >>= n & ~7u;
        n &= 7;
    }
    void flush() {
        spill();
        c.bitPos = static_cast<int32_t>(byte * 8 + n);
    }
};

// The decoders' 64-bit bit buffer for long runs of codes: `buf` holds the
// next `avail` bits of the stream (its low bit first) and `in` is where the
// next load starts. refill() tops it up to 56..63 bits without a branch,
// putting the new bits above the old ones; the caller keeps every load
// inside the bit buffer. Consumers shift `buf` and lower `avail` themselves.
struct Reader {
    const uint8_t* in;
    uint64_t buf;
    uint32_t avail;
    Reader(const Codec& c, int32_t pos)
        : in(c.bitBuf + (pos >> 3) + 7),
          buf(lzx_words::load64(c.bitBuf + (pos >> 3)) >> (pos & 7)),
          avail(56 - static_cast<uint32_t>(pos & 7)) {}
    void refill() {
        buf |= lzx_words::load64(in) << avail;
        in += (63 - avail) >> 3;
        avail |= 56;
    }
    // The stream position of the first bit not yet consumed.
    int32_t pos(const Codec& c) const {
        return static_cast<int32_t>(in - c.bitBuf) * 8 - static_cast<int32_t>(avail);
    }
};

// The hot decoding loops keep the bit position in a local variable.
inline uint32_t peekAt(const Codec& c, int32_t pos) {
    uint32_t at = static_cast<uint32_t>(pos) >> 3;
    if (at > kLastWordByte) fatalError("BitPeek: read past buffer");
    uint32_t w;
    std::memcpy(&w, c.bitBuf + at, 4);
    return (w >> (pos & 7)) & 0xFFFFFF;
}

// At least 57 bits from `pos` on, for decoding several symbols per load.
inline uint64_t peek64At(const Codec& c, int32_t pos) {
    uint32_t at = static_cast<uint32_t>(pos) >> 3;
    if (at > sizeof(Codec::bitBuf) - 8) fatalError("BitPeek: read past buffer");
    uint64_t w;
    std::memcpy(&w, c.bitBuf + at, 8);
    return w >> (pos & 7);
}

inline uint32_t peek(const Codec& c) {
    return peekAt(c, c.bitPos);
}

inline uint32_t getAt(const Codec& c, int n, int32_t& pos) {
    uint32_t v = peekAt(c, pos) & ((1u << n) - 1);
    pos += n;
    return v;
}

inline uint32_t get(Codec& c, int n) {
    return getAt(c, n, c.bitPos);
}

constexpr uint32_t kLookupMask = (1u << kLookupBits) - 1;
// lookupLen entries: the code length below, the symbol above. The length
// fills 6 bits so that a shift by the whole entry shifts by the length alone
// (the hardware uses only the low 6 bits of a 64-bit shift count).
constexpr int kEntrySymShift = 6;
constexpr uint32_t kEntryLenMask = (1u << kEntrySymShift) - 1;

// A code longer than kLookupBits (or none at all): search the table.
inline int32_t decodeLongAt(const Codec& c, const FresTable& t, int32_t& pos) {
    int32_t s = DecodeLong(t, peekAt(c, pos));
    pos += t.len[s];
    return s;
}

// One symbol through the lookup table of `t` (MakeLookup); longer codes by search.
inline int32_t decodeAt(const Codec& c, const FresTable& t, int32_t& pos) {
    uint32_t e = c.fast.lookupLen[peekAt(c, pos) & kLookupMask];
    if (e == 0) return decodeLongAt(c, t, pos);
    pos += static_cast<int32_t>(e & kEntryLenMask);
    return static_cast<int32_t>(e >> kEntrySymShift);
}

// Entries of Codec::decodeTable; one load drives one decoding step.
//   bits 0..5    the bits the step consumes: a literal's code, or a
//                reference's code and both its extras, so that the next
//                step's bits are one shift away and do not wait for l and d
//   bits 6..7    kind
//   bits 25..29  the length of the entry's code
//   literal:     bits 8..15 the byte, bits 30..31 the number of literals
//                (1 or 2); a second literal's byte is in bits 16..23, and
//                its code follows the first and is counted in bits 0..5
//   reference:   bits 8..11 width of the length extra, 12..15 of the distance
//                extra, bit 16 set when the length code's top bit is 1 (lb > 0),
//                bit 17 the same for the distance code
//   subtable:    bits 8..23 its offset in the table, 24..28 its index width;
//                its entries consume the whole code, root bits included
//   search:      no table holds the code (absent, or beyond the tables' room)
enum : uint32_t { kKindLiteral = 0, kKindReference = 1, kKindSubtable = 2, kKindSearch = 3 };
constexpr uint32_t kSearchEntry = kKindSearch << 6;
constexpr uint32_t kDecodeRootMask = (1u << kDecodeRootBits) - 1;
constexpr int kFirstLenShift = 25;
constexpr int kLiteralCountShift = 30;

inline uint32_t entryKind(uint32_t e) {
    return (e >> 6) & 3;
}

// The entry of one symbol of an LZ or Huffman-only alphabet with a code of
// `len` bits. The extra-bit widths drop the implied top bit of a code.
inline uint32_t symbolEntry(int32_t s, int len) {
    uint32_t l = static_cast<uint32_t>(len);
    if (s < 256)
        return l | kKindLiteral << 6 | static_cast<uint32_t>(s) << 8 | l << kFirstLenShift |
               1u << kLiteralCountShift;
    uint32_t lb = static_cast<uint32_t>(s - 256) >> 4, db = static_cast<uint32_t>(s - 256) & 15;
    uint32_t lx = lb > 1 ? lb - 1 : 0, dx = db > 1 ? db - 1 : 0;
    return (l + lx + dx) | kKindReference << 6 | lx << 8 | dx << 12 | (lb != 0) << 16 |
           (db != 0) << 17 | l << kFirstLenShift;
}

// The length of the code of a literal's or reference's entry.
inline uint32_t entryCodeLength(uint32_t e) {
    return (e >> kFirstLenShift) & 31;
}

// The entry for the code at the start of `bits` (at least 24 stream bits),
// taking subtables and the search.
inline uint32_t entryAt(const Codec& c, const FresTable& t, uint32_t bits) {
    uint32_t e = c.decodeTable[bits & kDecodeRootMask];
    if (entryKind(e) == kKindSubtable)
        e = c.decodeTable[((e >> 8) & 0xFFFF) +
                          ((bits >> kDecodeRootBits) & ((1u << ((e >> 24) & 31)) - 1))];
    if (entryKind(e) == kKindSearch) {
        int32_t s = DecodeLong(t, bits & 0xFFFFFF);
        return symbolEntry(s, t.len[s]);
    }
    return e;
}

}  // namespace lzx_bits
