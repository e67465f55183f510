// Inline bit access for the coders' inner loops; BitPut, BitPeek and
// DecodeSym are these same operations out of line.
#pragma once

#include <bit>
#include <cstring>

#include "lzx/codec.h"
#include "base/error.h"

static_assert(std::endian::native == std::endian::little, "the bit stream uses LE word access");

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

}  // namespace lzx_bits
