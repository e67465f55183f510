#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "entropy_support.h"
#include "lzx/codec.h"

using testing::ElementsAre;
using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

// Lengths of the first n symbols of a table.
std::vector<int> lensOf(const FresTable& t, int n) {
    return std::vector<int>(t.len, t.len + n);
}
std::vector<int> codesOf(const FresTable& t, int n) {
    return std::vector<int>(t.code, t.code + n);
}

// Gives symbols 0..counts.size()-1 these counts and builds their lengths.
void lengthsFor(Codec& c, FresTable& t, const std::vector<uint32_t>& counts) {
    FresInit(t, static_cast<int32_t>(counts.size()));
    for (size_t i = 0; i < counts.size(); i++) t.freq[i] += counts[i] << 16;
    FresLengths(c, t);
}

TEST(BitStreamTest, FieldsFillEachByteFromItsLowBit) {
    auto c = newCodec();
    BitPut(*c, 3, 5);
    BitPut(*c, 2, 1);
    BitPut(*c, 3, 6);
    EXPECT_EQ(c->bitPos, 8);
    EXPECT_EQ(c->bitBuf[0], 0xCD);
    c->bitPos = 0;
    EXPECT_EQ(BitPeek(*c), 0xCDu);
    EXPECT_EQ(BitGet(*c, 3), 5u);
    EXPECT_EQ(BitGet(*c, 2), 1u);
    EXPECT_EQ(BitGet(*c, 3), 6u);
}

TEST(BitStreamTest, FieldsOfEveryWidthReadBack) {
    auto c = newCodec();
    std::mt19937 rng(7);
    std::vector<std::pair<int, uint32_t>> fields;
    for (int k = 0; k < 2000; k++) {
        int n = static_cast<int>(rng() % 25);
        fields.emplace_back(n, rng() & ((1u << n) - 1));
        BitPut(*c, n, fields.back().second);
    }
    int32_t total = c->bitPos;
    c->bitPos = 0;
    for (auto [n, v] : fields) {
        // A peek shows the next 24 bits, the field in its low bits.
        EXPECT_EQ(BitPeek(*c) & ((1u << n) - 1), v);
        ASSERT_EQ(BitGet(*c, n), v);
    }
    EXPECT_EQ(c->bitPos, total);
}

TEST(BitStreamTest, PutKeepsEarlierBitsAndClearsScratchAbove) {
    auto c = newCodec();
    std::memset(c->bitBuf, 0xFF, 8);
    c->bitPos = 3;
    // Bits of the value above the field width are not written.
    BitPut(*c, 2, 0xFE);
    EXPECT_EQ(c->bitPos, 5);
    EXPECT_THAT(storedBytes(*c, 32), ElementsAre(0x07 | 0x10, 0, 0, 0));
    EXPECT_EQ(c->bitBuf[4], 0xFF);
}

TEST(BitStreamDeathTest, AccessOutsideTheBufferIsRefused) {
    auto c = newCodec();
    c->bitPos = 8 * (kCodecBufSize + 4);  // the last word inside the padding
    BitPeek(*c);
    BitPut(*c, 25, 0);
    c->bitPos = 8 * (kCodecBufSize + 5);
    EXPECT_EXIT(BitPeek(*c), ExitedWithCode(2), HasSubstr("BitPeek: read past buffer"));
    EXPECT_EXIT(BitPut(*c, 1, 0), ExitedWithCode(2), HasSubstr("BitPut: buffer full"));
    c->bitPos = -1;
    EXPECT_EXIT(BitGet(*c, 1), ExitedWithCode(2), HasSubstr("BitPeek: read past buffer"));
}

TEST(FresLengthsTest, CountsGiveCanonicalCodes) {
    auto c = newCodec();
    FresTable& t = c->symbols;
    lengthsFor(*c, t, {5, 9, 2, 2});
    EXPECT_EQ(t.used, 4);
    EXPECT_THAT(lensOf(t, 4), ElementsAre(2, 1, 3, 3));
    LenToVal(t);
    EXPECT_THAT(codesOf(t, 4), ElementsAre(1, 0, 3, 7));
}

TEST(FresLengthsTest, TiesFollowSymbolOrderAndNewestNodeFirst) {
    auto c = newCodec();
    lengthsFor(*c, c->symbols, {4, 4, 4, 4, 4});
    EXPECT_THAT(lensOf(c->symbols, 5), ElementsAre(2, 2, 3, 3, 2));
}

// The tie rule as one sorted list, lightest last: the two last nodes merge
// and the new node goes behind every node of its weight, so it is taken
// before them. Gives each symbol's depth; counts are nonzero.
std::vector<int> listModelLengths(const std::vector<uint32_t>& counts) {
    struct Node {
        uint32_t weight;
        int left, right, symbol;
    };
    std::vector<Node> nodes;
    std::vector<int> order(counts.size());
    for (size_t i = 0; i < counts.size(); i++) order[i] = static_cast<int>(i);
    // Heavier first; among equal counts the higher symbol first.
    std::sort(order.begin(), order.end(),
              [&](int a, int b) { return counts[a] != counts[b] ? counts[a] > counts[b] : a > b; });
    std::vector<int> list;
    for (int s : order) {
        list.push_back(static_cast<int>(nodes.size()));
        nodes.push_back({counts[s], -1, -1, s});
    }
    while (list.size() >= 2) {
        int b = list.back();
        list.pop_back();
        int a = list.back();
        list.pop_back();
        uint32_t w = nodes[a].weight + nodes[b].weight;
        size_t j = list.size();
        while (j > 0 && nodes[list[j - 1]].weight < w) j--;
        list.insert(list.begin() + static_cast<long>(j), static_cast<int>(nodes.size()));
        nodes.push_back({w, a, b, -1});
    }
    std::vector<int> len(counts.size());
    std::vector<std::pair<int, int>> todo{{list[0], 0}};
    while (!todo.empty()) {
        auto [n, depth] = todo.back();
        todo.pop_back();
        if (nodes[n].symbol >= 0) {
            len[nodes[n].symbol] = depth;
        } else {
            todo.push_back({nodes[n].left, depth + 1});
            todo.push_back({nodes[n].right, depth + 1});
        }
    }
    return len;
}

TEST(FresLengthsTest, TreeFollowsTheTieRuleOfOneSortedList) {
    // Few distinct counts make many ties between leaves, between merged
    // nodes, and between both; flat sets make long runs of equal merged nodes.
    // Totals stay below 2^16, as a block's counts do.
    auto c = newCodec();
    Lcg rng{7};
    for (int round = 0; round < 400; round++) {
        size_t n = 2 + rng.next() % (round < 200 ? 40 : kLzSymbols - 1);
        uint32_t spread = 1 + rng.next() % (round % 4 == 0 ? 2 : round % 4 == 1 ? 5 : 80);
        uint32_t base = round % 3 == 0 ? 1 : 1 + rng.next() % 40;
        std::vector<uint32_t> counts(n);
        for (auto& k : counts) k = base + rng.next() % spread;
        if (round % 5 == 0) counts.assign(n, base);
        lengthsFor(*c, c->symbols, counts);
        ASSERT_EQ(lensOf(c->symbols, static_cast<int>(n)), listModelLengths(counts))
            << "round " << round;
    }
}

TEST(FresLengthsTest, SortPutsHeavierAndThenHigherSymbolsFirst) {
    // Alphabets on both sides of the comparison sort's limit; counts with
    // and without a high byte, and many equal ones.
    auto c = newCodec();
    FresTable& t = c->symbols;
    Lcg rng{3};
    for (int n : {27, 64, 65, 256, kLzSymbols, kFresMax}) {
        for (uint32_t top : {3u, 200u, 16384u, 65535u}) {
            FresInit(t, n);
            for (int i = 0; i < n; i++) t.freq[i] += (rng.next() % 3 ? rng.next() % top : 0) << 16;
            std::vector<uint32_t> expect(t.freq, t.freq + n);
            std::sort(expect.begin(), expect.end(), std::greater<uint32_t>());
            FresSort(t);
            ASSERT_EQ(std::vector<uint32_t>(t.freq, t.freq + n), expect) << n << " " << top;
        }
    }
}

TEST(FresLengthsTest, EmptyAndSingleAlphabetsGetOneBit) {
    auto c = newCodec();
    FresTable& t = c->symbols;
    lengthsFor(*c, t, {0, 0, 0});
    EXPECT_EQ(t.used, 0);
    EXPECT_THAT(lensOf(t, 3), ElementsAre(1, 0, 0));
    lengthsFor(*c, t, {0, 0, 7});
    EXPECT_THAT(lensOf(t, 3), ElementsAre(0, 0, 1));
    LenToVal(t);
    EXPECT_EQ(t.code[2], 0);
}

TEST(FresLengthsTest, SkewedCountsStayWithinTheLimit) {
    // Fibonacci counts build the deepest tree a block can produce.
    auto c = newCodec();
    std::vector<uint32_t> counts{1, 1};
    while (counts.size() < 20)
        counts.push_back(counts[counts.size() - 1] + counts[counts.size() - 2]);
    lengthsFor(*c, c->symbols, counts);
    EXPECT_EQ(c->symbols.len[0], 19);
    EXPECT_EQ(c->symbols.len[19], 1);
}

TEST(LenToValTest, ReversedCanonicalCodesFromLengths) {
    FresTable t{};
    t.count = 4;
    t.len[0] = 2, t.len[1] = 1, t.len[2] = 3, t.len[3] = 3;
    LenToVal(t);
    EXPECT_THAT(codesOf(t, 4), ElementsAre(1, 0, 3, 7));
    // 24-bit codes: the last two are all zeros but one bit, and all ones.
    t.count = 25;
    for (int i = 0; i < 23; i++) t.len[i] = static_cast<uint8_t>(i + 1);
    t.len[23] = t.len[24] = 24;
    LenToVal(t);
    EXPECT_EQ(t.code[23], 0x7FFFFF);
    EXPECT_EQ(t.code[24], 0xFFFFFF);
}

TEST(LenToValTest, DecodeTableGivesTheSameCodes) {
    // The decoders' table build hands out the canonical codes itself; they
    // must be LenToVal's, for alphabets of every size modulo 8 (it sorts the
    // alphabet in eight runs and a remainder) and for complete and
    // incomplete sets.
    auto c = newCodec();
    Lcg rng{21};
    for (int n : {2, 27, 255, 256, 257, 258, 396, 397, 399, 400}) {
        for (int round = 0; round < 12; round++) {
            std::vector<uint32_t> counts(static_cast<size_t>(n));
            for (auto& k : counts) k = rng.next() % 3 ? 0 : rng.next() % (1u << (rng.next() % 12));
            FresTable& t = c->symbols;
            lengthsFor(*c, t, counts);
            // Every other round one code is dropped: the set is incomplete.
            if (round % 2) {
                for (int i = 0; i < n; i++) {
                    if (t.len[i] != 0) {
                        t.len[i] = 0;
                        break;
                    }
                }
            }
            FresTable expect = t;
            LenToVal(expect);
            std::fill(t.code, t.code + kFresMax, -1);
            MakeDecodeTable(*c, t);
            for (int i = 0; i < n; i++) {
                if (t.len[i] == 0) continue;
                ASSERT_EQ(t.code[i], expect.code[i]) << n << " symbols, symbol " << i;
            }
        }
    }
    // An over-full set is refused as LenToVal refuses it.
    FresTable& t = c->symbols;
    t.count = 3;
    t.len[0] = t.len[1] = t.len[2] = 1;
    EXPECT_EXIT(MakeDecodeTable(*c, t), ExitedWithCode(2), HasSubstr("LenToVal: overcounted"));
}

TEST(HuffmanDeathTest, EncoderGuardsRefuseBrokenTables) {
    auto c = newCodec();
    FresTable& t = c->symbols;
    EXPECT_EXIT(FresInit(t, kFresMax + 1), ExitedWithCode(2),
                HasSubstr("FresInit: too many symbols"));
    FresInit(t, 4);
    t.used = 0;
    EXPECT_EXIT(TreeBuild(*c, t), ExitedWithCode(2), HasSubstr("TreeBuild: BUG"));
    t.used = 1;
    EXPECT_EXIT(TreeToLen(*c, t, 0, 0), ExitedWithCode(2), HasSubstr("TreeToLen: root is used"));
    c->nodes[1] = {2, 1, 0, 0xFFFF};
    EXPECT_EXIT(TreeToLen(*c, t, 1, 0), ExitedWithCode(2), HasSubstr("TreeToLen: child missing"));
    c->nodes[1] = {2, 1, 1, 1};  // a node that is its own child never reaches a leaf
    EXPECT_EXIT(TreeToLen(*c, t, 1, 0), ExitedWithCode(2), HasSubstr("TreeToLen: too deep"));
}

TEST(HuffmanDeathTest, LenToValRefusesImpossibleLengths) {
    FresTable t{};
    t.count = 3;
    t.len[0] = t.len[1] = t.len[2] = 1;
    EXPECT_EXIT(LenToVal(t), ExitedWithCode(2), HasSubstr("LenToVal: overcounted"));
    t.len[0] = 25;
    EXPECT_EXIT(LenToVal(t), ExitedWithCode(2), HasSubstr("LenToVal: length too big"));
}

TEST(DecodeTest, ShortCodesByTableAndLongCodesBySearch) {
    // Lengths 1..11 and 11: a complete code with two codes past the table.
    auto c = newCodec();
    FresTable& t = c->symbols;
    t.count = 12;
    for (int i = 0; i < 11; i++) t.len[i] = static_cast<uint8_t>(i + 1);
    t.len[11] = 11;
    LenToVal(t);
    MakeLookup(*c, t);
    EXPECT_EQ(c->lookup[t.code[0] | 0x3FE], 0);
    EXPECT_EQ(c->lookup[t.code[9]], 9);
    EXPECT_EQ(c->lookup[t.code[10] & 1023], kFresMax);
    std::vector<int> syms{11, 0, 10, 3, 9, 11, 1, 0, 0, 8, 10};
    c->bitPos = 0;
    for (int s : syms) putSym(*c, t, s);
    int32_t end = c->bitPos;
    c->bitPos = 0;
    for (int s : syms) EXPECT_EQ(DecodeSym(*c, t), s);
    EXPECT_EQ(c->bitPos, end);
    EXPECT_EQ(DecodeLong(t, static_cast<uint32_t>(t.code[11])), 11);
    EXPECT_EQ(UnCode(t, static_cast<uint32_t>(t.code[4])), 4);
}

TEST(DecodeDeathTest, BitsThatBeginNoCodeAreRefused) {
    auto c = newCodec();
    FresTable& t = c->symbols;
    lengthsFor(*c, t, {0, 3});
    LenToVal(t);
    MakeLookup(*c, t);
    c->bitBuf[0] = 0x02;  // 0: symbol 1; then 1, the unused half of the code
    c->bitPos = 0;
    EXPECT_EQ(DecodeSym(*c, t), 1);
    EXPECT_EXIT(DecodeSym(*c, t), ExitedWithCode(2), HasSubstr("DecodeLong: code not found"));
    EXPECT_EXIT(UnCode(t, 1), ExitedWithCode(2), HasSubstr("UnCode: code not found"));
}

TEST(LengthHeaderTest, ZeroRunsChooseTheirSymbols) {
    // 19 zeros: a zero and a run of 18; 102 zeros: 83, a zero, 18; two
    // zeros at the end: two single zeros.
    std::vector<int> lens{2, 3};
    lens.insert(lens.end(), 19, 0);
    lens.push_back(1);
    lens.insert(lens.end(), 102, 0);
    lens.insert(lens.end(), {3, 0, 0});
    auto c = newCodec();
    putHeader(*c, c->symbols, lens);
    int32_t end = c->bitPos;
    Header h = parseHeader(*c, static_cast<int>(lens.size()));
    using P = std::pair<int, int>;
    EXPECT_THAT(h.items, ElementsAre(P{2, 0}, P{3, 0}, P{0, 0}, P{25, 18}, P{1, 0}, P{26, 83},
                                     P{0, 0}, P{25, 18}, P{3, 0}, P{0, 0}, P{0, 0}));
    EXPECT_EQ(h.bits, end);
    c->bitPos = 0;
    RecvLens(*c, c->symbols, static_cast<int32_t>(lens.size()));
    EXPECT_EQ(lensOf(c->symbols, static_cast<int>(lens.size())), lens);
    EXPECT_EQ(c->bitPos, end);
}

TEST(LengthHeaderTest, LongLengthCodesTakeSixBits) {
    // Fibonacci counts of the lengths 24, 23, ... give length codes past 6.
    std::vector<int> lens;
    int a = 1, b = 1;
    for (int l = 24; l >= 13; l--, std::swap(a, b), b += a) lens.insert(lens.end(), a, l);
    auto c = newCodec();
    putHeader(*c, c->symbols, lens);
    int32_t end = c->bitPos;
    Header h = parseHeader(*c, static_cast<int>(lens.size()));
    EXPECT_GT(h.wideFields, 0);
    int wide = 0;
    for (int l : h.lenCodeLens) wide += l >= 7;
    EXPECT_EQ(wide, h.wideFields);
    c->bitPos = 0;
    RecvLens(*c, c->symbols, static_cast<int32_t>(lens.size()));
    EXPECT_EQ(lensOf(c->symbols, static_cast<int>(lens.size())), lens);
    EXPECT_EQ(c->bitPos, end);
}

TEST(LengthHeaderTest, RoundTripOfBuiltCodes) {
    auto c = newCodec();
    std::mt19937 rng(11);
    for (int round = 0; round < 20; round++) {
        std::vector<uint32_t> counts(400);
        for (auto& n : counts) n = rng() % 3 ? 0 : rng() % (1u << (rng() % 12));
        lengthsFor(*c, c->symbols, counts);
        std::vector<int> lens = lensOf(c->symbols, 400);
        c->bitPos = 0;
        SendLens(*c, c->symbols);
        int32_t end = c->bitPos;
        c->bitPos = 0;
        std::memset(c->symbols.len, 0xAA, sizeof c->symbols.len);
        RecvLens(*c, c->symbols, 400);
        ASSERT_EQ(lensOf(c->symbols, 400), lens);
        ASSERT_EQ(c->bitPos, end);
    }
}

// A header written by hand: every length code 5 bits long (an incomplete
// but valid code), followed by the given length-code symbols and runs.
void putRawHeader(Codec& c, const std::vector<std::pair<int, int>>& items) {
    FresTable lc{};
    lc.count = kLenCodeCount;
    for (int s = 0; s < kLenCodeCount; s++) {
        lc.len[s] = 5;
        BitPut(c, 3, 5);
    }
    LenToVal(lc);
    for (auto [s, run] : items) {
        putSym(c, lc, s);
        if (s == 25) BitPut(c, 4, static_cast<uint32_t>(run - 3));
        if (s == 26) BitPut(c, 6, static_cast<uint32_t>(run - 20));
    }
}

TEST(LengthHeaderTest, RunsEndingAtOrPastTheLastLengthKeepTheLengths) {
    auto c = newCodec();
    FresTable& t = c->symbols;
    putRawHeader(*c, {{1, 0}, {2, 0}, {2, 0}, {25, 7}});
    c->bitPos = 0;
    RecvLens(*c, t, 10);
    EXPECT_THAT(lensOf(t, 10), ElementsAre(1, 2, 2, 0, 0, 0, 0, 0, 0, 0));

    c->bitPos = 0;
    putRawHeader(*c, {{1, 0}, {2, 0}, {2, 0}, {25, 18}});
    c->bitPos = 0;
    RecvLens(*c, t, 10);
    EXPECT_THAT(lensOf(t, 10), ElementsAre(1, 2, 2, 0, 0, 0, 0, 0, 0, 0));

    // Runs past the end of a full 512-symbol table stay inside the table.
    std::fill(t.code, t.code + kFresMax, 0x5A5A);
    c->bitPos = 0;
    std::vector<std::pair<int, int>> items(6, {26, 83});
    items.push_back({1, 0});
    items.push_back({26, 83});
    putRawHeader(*c, items);
    c->bitPos = 0;
    RecvLens(*c, t, kFresMax);
    EXPECT_EQ(t.len[498], 1);
    EXPECT_EQ(t.code[0], 0x5A5A);
}

TEST(LengthHeaderDeathTest, DamagedHeadersAreRefused) {
    auto c = newCodec();
    // Length codes 1, 1, 2: past the code space, but not caught by LenToVal.
    for (int v : {1, 1, 2}) BitPut(*c, 3, static_cast<uint32_t>(v));
    for (int s = 3; s < kLenCodeCount; s++) BitPut(*c, 3, 0);
    c->bitPos = 0;
    EXPECT_EXIT(RecvLens(*c, c->symbols, 256), ExitedWithCode(2),
                HasSubstr("RecvLens: length codes over-subscribed"));
    // No length code at all.
    std::memset(c->bitBuf, 0, 64);
    EXPECT_EXIT(RecvLens(*c, c->symbols, 256), ExitedWithCode(2),
                HasSubstr("UnCode: code not found"));
    // Symbol lengths 1, 1, 2.
    c->bitPos = 0;
    putHeader(*c, c->symbols, {1, 1, 2});
    c->bitPos = 0;
    EXPECT_EXIT(RecvLens(*c, c->symbols, 3), ExitedWithCode(2),
                HasSubstr("RecvLens: code lengths over-subscribed"));
    EXPECT_EXIT(RecvLens(*c, c->symbols, kFresMax + 1), ExitedWithCode(2),
                HasSubstr("RecvLens: too many symbols"));
    // Codes that run on past the end of the bit buffer (the zeros there
    // read as length 0, five bits each) are refused, not read.
    std::memset(c->bitBuf, 0, sizeof c->bitBuf);
    c->bitPos = 8 * (kCodecBufSize - 40);
    putRawHeader(*c, std::vector<std::pair<int, int>>(20, {1, 0}));
    c->bitPos = 8 * (kCodecBufSize - 40);
    EXPECT_EXIT(RecvLens(*c, c->symbols, 400), ExitedWithCode(2),
                HasSubstr("BitPeek: read past buffer"));
    // So is a header that starts in the buffer's last bytes, or before it.
    for (int32_t pos : {static_cast<int32_t>(8 * sizeof c->bitBuf - 20), -8}) {
        c->bitPos = pos;
        EXPECT_EXIT(RecvLens(*c, c->symbols, 400), ExitedWithCode(2),
                    HasSubstr("BitPeek: read past buffer"))
            << pos;
    }
}

TEST(LengthHeaderTest, IncompleteSetsAreAccepted) {
    auto c = newCodec();
    putHeader(*c, c->symbols, {0, 1, 0});
    c->bitPos = 0;
    RecvLens(*c, c->symbols, 3);
    EXPECT_THAT(lensOf(c->symbols, 3), ElementsAre(0, 1, 0));
}

}  // namespace
