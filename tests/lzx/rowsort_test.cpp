#include "lzx/rowsort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

using Block = std::vector<uint8_t>;

class RowSortTest : public testing::Test {
  protected:
    std::unique_ptr<Codec> codec = std::make_unique<Codec>();
    uint8_t rows[256] = {};

    static void setRow(Block& b, int r, uint8_t v, int differing = kSorRowBytes) {
        std::memset(b.data() + r * kSorRowBytes, 0xFF, kSorRowBytes);
        std::memset(b.data() + r * kSorRowBytes, v, static_cast<size_t>(differing));
    }
    Block roundTrip(const Block& src, int32_t* kOut = nullptr) {
        Block sorted(kCodecBlock);
        int32_t k = SorPack(*codec, src.data(), sorted.data(), rows);
        if (kOut) *kOut = k;
        Block back(kCodecBlock + 8, 0xEE);
        SorUnpack(*codec, sorted.data(), back.data(), rows, k);
        EXPECT_EQ(Block(back.begin() + kCodecBlock, back.end()), Block(8, 0xEE));
        back.resize(kCodecBlock);
        return back;
    }
};

using RowSortDeathTest = RowSortTest;

TEST_F(RowSortTest, AllEmptyBlockHasNoRows) {
    Block src(kCodecBlock, 0xFF), sorted(kCodecBlock, 0);
    EXPECT_EQ(SorPack(*codec, src.data(), sorted.data(), rows), 0);
    EXPECT_EQ(sorted, src);
    EXPECT_EQ(roundTrip(src), src);
}

TEST_F(RowSortTest, RowsFollowTheirNearestNeighbour) {
    Block src(kCodecBlock, 0xFF);
    setRow(src, 0, 1);      // 64 bytes other than 0xFF
    setRow(src, 3, 2, 10);  // 10 bytes
    setRow(src, 7, 2, 10);  // equal to row 3: same distance from the empty row
    setRow(src, 9, 5, 2);   // fewest bytes other than 0xFF: placed first
    Block sorted(kCodecBlock);
    ASSERT_EQ(SorPack(*codec, src.data(), sorted.data(), rows), 4);
    // 9 is nearest to the empty row; 3 and 7 tie on 10 and the lower wins.
    EXPECT_EQ(Block(rows, rows + 4), (Block{9, 3, 7, 0}));
    // Column by column: byte j of the t-th listed row at j * k + t.
    EXPECT_EQ(Block(sorted.begin(), sorted.begin() + 8), (Block{5, 2, 2, 1, 5, 2, 2, 1}));
    EXPECT_EQ(Block(sorted.begin() + 8, sorted.begin() + 12), (Block{0xFF, 2, 2, 1}));
    EXPECT_EQ(sorted[63 * 4 + 3], 1);
    EXPECT_EQ(Block(sorted.begin() + 256, sorted.end()), Block(kCodecBlock - 256, 0xFF));
    EXPECT_EQ(roundTrip(src), src);
}

TEST_F(RowSortTest, EqualRowsKeepTheirOrder) {
    Block src(kCodecBlock, 0xFF);
    // Three equal rows, each nearer to the empty row than row 200: a row
    // that equals the previous one ends the search, and ties go by number.
    setRow(src, 200, 4, 30);
    setRow(src, 9, 6, 2);
    setRow(src, 7, 6, 2);
    setRow(src, 3, 6, 2);
    Block sorted(kCodecBlock);
    ASSERT_EQ(SorPack(*codec, src.data(), sorted.data(), rows), 4);
    EXPECT_EQ(Block(rows, rows + 4), (Block{3, 7, 9, 200}));
    EXPECT_EQ(roundTrip(src), src);
}

TEST_F(RowSortTest, HelpersCountAndCompareRows) {
    uint8_t a[64], b[64];
    std::memset(a, 1, sizeof a);
    std::memset(b, 1, sizeof b);
    for (int j = 0; j < 20; ++j) b[j * 3] = 2;
    EXPECT_EQ(SorRowDiff(a, b, 999999), 20);
    EXPECT_EQ(SorRowDiff(a, b, 5), 5);
    EXPECT_EQ(SorRowDiff(a, a, 1), 0);
    for (int limit = 1; limit <= 21; ++limit)
        EXPECT_EQ(SorRowDiff(a, b, limit), std::min(limit, 20));
    // Rows are compared several bytes at a time: every position and every
    // kind of bit difference counts once.
    for (int j = 0; j < 64; ++j) {
        for (uint8_t flip : {0x01, 0x7F, 0x80, 0xFF}) {
            std::memcpy(b, a, sizeof b);
            b[j] ^= flip;
            b[63 - j] ^= 0x10;
            EXPECT_EQ(SorRowDiff(a, b, 999999), j == 63 - j ? 1 : 2) << j << " " << int{flip};
        }
    }

    Block src(kCodecBlock, 0xFF);
    setRow(src, 200, 0, 1);
    src[5 * 64 + 63] = 0xFE;
    std::memcpy(codec->rowMatrix, src.data(), kCodecBlock);
    EXPECT_EQ(SorCountRows(*codec), 2);
    EXPECT_EQ(codec->rowFlags[5], 0);
    EXPECT_EQ(codec->rowFlags[6], 1);
    EXPECT_EQ(SorBestRow(*codec, 0), 5);  // one byte away from the empty row 0
}

TEST_F(RowSortTest, RoundTripsBlocksWithManyRows) {
    for (unsigned seed = 1; seed < 6; ++seed) {
        auto r = randomBytes(kCodecBlock, seed);
        Block src(r.begin(), r.end());
        setRow(src, static_cast<int>(seed * 40), 0xFF);  // the one empty row
        int32_t k = 0;
        EXPECT_EQ(roundTrip(src, &k), src);
        EXPECT_EQ(k, 255);
    }
}

// Every row count, against the definition byte by byte: byte j of the t-th
// listed row is input byte j * k + t, later listings of a row win, and rows
// not listed stay 0xFF. The lists repeat rows as damaged data may.
TEST_F(RowSortTest, UnpackMatchesTheByteDefinitionForEveryRowCount) {
    std::mt19937 rng(7);
    Block src(kCodecBlock), want(kCodecBlock), got(kCodecBlock);
    for (int32_t k = 0; k < kSorRows; ++k) {
        for (uint8_t& b : src) b = static_cast<uint8_t>(rng());
        for (int32_t t = 0; t < k; ++t) rows[t] = static_cast<uint8_t>(rng() % (k % 3 ? 256 : 16));
        std::fill(want.begin(), want.end(), uint8_t{0xFF});
        for (int j = 0; j < kSorRowBytes; ++j)
            for (int32_t t = 0; t < k; ++t) want[rows[t] * kSorRowBytes + j] = src[j * k + t];
        SorUnpack(*codec, src.data(), got.data(), rows, k);
        ASSERT_EQ(got, want) << k << " rows";
    }
}

// The packer's side of the same layout, for row counts in and out of
// multiples of eight: byte j of the t-th listed row at j * k + t, then 0xFF.
TEST_F(RowSortTest, PackWritesColumnsByTheDefinitionForManyRowCounts) {
    std::mt19937 rng(8);
    Block src(kCodecBlock), sorted(kCodecBlock);
    for (int32_t k : {1, 7, 8, 9, 15, 16, 17, 63, 64, 100, 247, 248, 249, 254, 255}) {
        for (uint8_t& b : src) b = static_cast<uint8_t>(rng() % 4);  // near rows, real choices
        for (int r = k; r < kSorRows; ++r) setRow(src, r, 0xFF);
        ASSERT_EQ(SorPack(*codec, src.data(), sorted.data(), rows), k);
        Block want(kCodecBlock, 0xFF);
        for (int j = 0; j < kSorRowBytes; ++j)
            for (int32_t t = 0; t < k; ++t) want[j * k + t] = src[rows[t] * kSorRowBytes + j];
        ASSERT_EQ(sorted, want) << k << " rows";
        EXPECT_EQ(roundTrip(src), src) << k << " rows";
    }
}

TEST_F(RowSortDeathTest, RefusesBlocksWithoutEmptyRowAndBadCounts) {
    Block src(kCodecBlock, 0xFF), out(kCodecBlock);
    src[5] = 0;
    for (int r = 0; r < 256; ++r) src[r * 64 + 63] = 0;
    EXPECT_EXIT(SorPack(*codec, src.data(), out.data(), rows), ExitedWithCode(2),
                HasSubstr("SorPack: no empty rows"));
    std::memset(codec->rowFlags, 1, 256);
    EXPECT_EXIT(SorBestRow(*codec, 0), ExitedWithCode(2), HasSubstr("SorBestRow: BUG"));
    EXPECT_EXIT(SorUnpack(*codec, src.data(), out.data(), rows, 256), ExitedWithCode(2),
                HasSubstr("SorUnpack: bad row count"));
    EXPECT_EXIT(SorUnpack(*codec, src.data(), out.data(), rows, -1), ExitedWithCode(2),
                HasSubstr("SorUnpack: bad row count"));
}

}  // namespace
