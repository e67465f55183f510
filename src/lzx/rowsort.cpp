// Row sort: a block is 256 rows of 64 bytes. All-0xFF rows are dropped, the
// others are chained so that each follows the row it differs least from, and
// written column by column so neighbouring rows turn into runs for the RLE.
#include "lzx/rowsort.h"

#include <algorithm>
#include <cstring>

#include "base/error.h"

namespace {

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
    std::memset(dst, 0xFF, kCodecBlock);
    uint8_t* out = dst;
    for (int j = 0; j < kSorRowBytes; ++j) {
        for (int32_t t = 0; t < k; ++t) *out++ = row(c, rowList[t])[j];
    }
    return k;
}

void SorUnpack(Codec& c, const uint8_t* src, uint8_t* dst, const uint8_t* rowList, int32_t k) {
    // k comes from a file; 255 rows of 64 bytes is all a block can hold.
    if (k < 0 || k >= kSorRows) fatalError("SorUnpack: bad row count");
    std::memset(c.rowMatrix, 0xFF, kCodecBlock);
    const uint8_t* in = src;
    for (int j = 0; j < kSorRowBytes; ++j) {
        for (int32_t t = 0; t < k; ++t) c.rowMatrix[rowList[t] * kSorRowBytes + j] = *in++;
    }
    std::memcpy(dst, c.rowMatrix, kCodecBlock);
}
