// Row sort: a block is 256 rows of 64 bytes. All-0xFF rows are dropped, the
// others are chained so that each follows the row it differs least from, and
// written column by column so neighbouring rows turn into runs for the RLE.
#include "lzx/rowsort.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "lzx/words.h"

namespace {

using lzx_words::load64;

const uint8_t* row(const Codec& c, int32_t r) {
    return c.rowMatrix + r * kSorRowBytes;
}

bool rowEmpty(const Codec& c, int32_t r) {
    const uint8_t* p = row(c, r);
    for (int j = 0; j < kSorRowBytes; ++j) {
        if (p[j] != 0xFF) return false;
    }
    return true;
}

// Swaps the blocks of `shift` bits at odd places in a with those at even
// places in b: one round of an 8 x 8 byte transpose.
inline void swapBlocks(uint64_t& a, uint64_t& b, int shift, uint64_t mask) {
    uint64_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// Transposes an 8 x 8 byte matrix held as eight little-endian words: byte r
// of m[c] moves to byte c of m[r]. Three rounds swap 1-, 2- and 4-byte
// blocks between word pairs; the words stay in registers.
inline void transpose8(uint64_t& m0, uint64_t& m1, uint64_t& m2, uint64_t& m3, uint64_t& m4,
                       uint64_t& m5, uint64_t& m6, uint64_t& m7) {
    constexpr uint64_t k1 = 0x00FF00FF00FF00FFu, k2 = 0x0000FFFF0000FFFFu, k4 = 0x00000000FFFFFFFFu;
    swapBlocks(m0, m1, 8, k1);
    swapBlocks(m2, m3, 8, k1);
    swapBlocks(m4, m5, 8, k1);
    swapBlocks(m6, m7, 8, k1);
    swapBlocks(m0, m2, 16, k2);
    swapBlocks(m1, m3, 16, k2);
    swapBlocks(m4, m6, 16, k2);
    swapBlocks(m5, m7, 16, k2);
    swapBlocks(m0, m4, 32, k4);
    swapBlocks(m1, m5, 32, k4);
    swapBlocks(m2, m6, 32, k4);
    swapBlocks(m3, m7, 32, k4);
}

// Eight bytes from each of in[0..7], transposed, to out[0..7]: byte c of
// out[r] is byte r of in[c]. Rows and columns of a block trade places both
// ways through this.
inline void transposeBlock(const uint8_t* const in[8], uint8_t* const out[8]) {
    uint64_t m0 = load64(in[0]), m1 = load64(in[1]), m2 = load64(in[2]), m3 = load64(in[3]),
             m4 = load64(in[4]), m5 = load64(in[5]), m6 = load64(in[6]), m7 = load64(in[7]);
    transpose8(m0, m1, m2, m3, m4, m5, m6, m7);
    const uint64_t m[8] = {m0, m1, m2, m3, m4, m5, m6, m7};
    for (int i = 0; i < 8; ++i) std::memcpy(out[i], &m[i], 8);
}

}  // namespace

int32_t SorRowDiff(const uint8_t* a, const uint8_t* b, int32_t limit) {
    // Eight positions at a time: the choice of every row compares it with
    // all rows left, so this is where the row sort spends its time. A byte of
    // x is nonzero exactly when the top bit of its byte in `differs` is set;
    // adding 0x7F to the low seven bits carries into no other byte.
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    int32_t count = 0;
    for (int j = 0; j < kSorRowBytes && count < limit; j += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + j, 8);
        std::memcpy(&y, b + j, 8);
        x ^= y;
        uint64_t differs = (((x & kLow7) + kLow7) | x) & ~kLow7;
        // One bit per byte, summed into the top byte by the multiplication.
        count += static_cast<int32_t>(((differs >> 7) * 0x0101010101010101u) >> 56);
    }
    // Counting stops at the limit; within the last word it may have passed it.
    // A limit below zero counts nothing.
    return count < limit ? count : std::max(limit, 0);
}

int32_t SorCountRows(Codec& c) {
    int32_t k = kSorRows;
    for (int32_t r = 0; r < kSorRows; ++r) {
        c.rowFlags[r] = rowEmpty(c, r) ? 1 : 0;
        k -= c.rowFlags[r];
    }
    return k;
}

int32_t SorBestRow(Codec& c, int32_t previous) {
    int32_t best = 999999;
    int32_t result = -1;
    for (int32_t r = 0; r < kSorRows; ++r) {
        if (c.rowFlags[r] != 0) continue;
        int32_t diff = SorRowDiff(row(c, r), row(c, previous), best);
        if (diff < best) {
            best = diff;
            result = r;
            if (best == 0) break;  // an equal row: no later row can win the tie
        }
    }
    if (result < 0) fatalError("SorBestRow: BUG");
    return result;
}

int32_t SorPack(Codec& c, const uint8_t* src, uint8_t* dst, uint8_t* rowList) {
    std::memcpy(c.rowMatrix, src, kCodecBlock);
    int32_t k = SorCountRows(c);
    if (k == kSorRows) fatalError("SorPack: no empty rows");
    int32_t previous = 0;
    while (c.rowFlags[previous] == 0) ++previous;
    for (int32_t t = 0; t < k; ++t) {
        int32_t r = SorBestRow(c, previous);
        c.rowFlags[r] = 1;
        rowList[t] = static_cast<uint8_t>(r);
        previous = r;
    }
    // Column by column: byte j of the t-th listed row to dst[j * k + t],
    // eight rows by eight columns at a time.
    std::memset(dst, 0xFF, kCodecBlock);
    int32_t t = 0;
    for (; t + 8 <= k; t += 8) {
        const uint8_t* rows[8];
        for (int i = 0; i < 8; ++i) rows[i] = row(c, rowList[t + i]);
        for (int j = 0; j < kSorRowBytes; j += 8) {
            const uint8_t* in[8];
            uint8_t* out[8];
            for (int i = 0; i < 8; ++i) {
                in[i] = rows[i] + j;
                out[i] = dst + (j + i) * k + t;
            }
            transposeBlock(in, out);
        }
    }
    for (; t < k; ++t) {
        for (int j = 0; j < kSorRowBytes; ++j) dst[j * k + t] = row(c, rowList[t])[j];
    }
    return k;
}

void SorUnpack(Codec& c, const uint8_t* src, uint8_t* dst, const uint8_t* rowList, int32_t k) {
    // k comes from a file; 255 rows of 64 bytes is all a block can hold.
    if (k < 0 || k >= kSorRows) fatalError("SorUnpack: bad row count");
    std::memset(c.rowMatrix, 0xFF, kCodecBlock);
    // Byte j of the t-th listed row is src[j * k + t]. Eight listed rows by
    // eight columns at a time: eight loads down the columns, a transpose,
    // eight stores along the rows. Rows go in list order for every column,
    // so a row listed twice (damaged data) keeps its last copy, as it would
    // byte by byte.
    int32_t t = 0;
    for (; t + 8 <= k; t += 8) {
        // Looked up once: the stores below may alias the list.
        uint8_t* rows[8];
        for (int i = 0; i < 8; ++i) rows[i] = c.rowMatrix + rowList[t + i] * kSorRowBytes;
        for (int j = 0; j < kSorRowBytes; j += 8) {
            const uint8_t* in[8];
            uint8_t* out[8];
            for (int i = 0; i < 8; ++i) {
                in[i] = src + (j + i) * k + t;
                out[i] = rows[i] + j;
            }
            transposeBlock(in, out);
        }
    }
    for (; t < k; ++t) {
        for (int j = 0; j < kSorRowBytes; ++j)
            c.rowMatrix[rowList[t] * kSorRowBytes + j] = src[j * k + t];
    }
    std::memcpy(dst, c.rowMatrix, kCodecBlock);
}
