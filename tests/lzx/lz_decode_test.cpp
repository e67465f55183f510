// The LZ decoder's fast paths against a plain model of the format: runs of
// short literal codes, overlapping copies at every short distance, codes
// deep enough for subtables, and length sets whose subtables do not all
// fit, so that the search takes over.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "entropy_support.h"
#include "lzx/codec.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

// A literal (sym < 256) or a reference with its codes l = L - 3, d = D - 1.
struct Item {
    int sym, l, d;
};

Item reference(int l, int d) {
    int lb = std::bit_width(static_cast<unsigned>(l)),
        db = std::bit_width(static_cast<unsigned>(d));
    return {256 + 16 * lb + db, l, d};
}

void putItem(Codec& c, const FresTable& t, const Item& it) {
    putSym(c, t, it.sym);
    if (it.sym < 256) return;
    int lb = (it.sym - 256) >> 4, db = (it.sym - 256) & 15;
    if (lb > 1) BitPut(c, lb - 1, static_cast<uint32_t>(it.l));
    if (db > 1) BitPut(c, db - 1, static_cast<uint32_t>(it.d));
}

// What the items stand for, one byte at a time.
Bytes model(const std::vector<Item>& items) {
    Bytes out;
    for (const Item& it : items) {
        if (it.sym < 256) {
            out.push_back(static_cast<uint8_t>(it.sym));
            continue;
        }
        size_t from = out.size() - static_cast<size_t>(it.d + 1);
        for (int k = 0; k < it.l + 3; k++) out.push_back(out[from + static_cast<size_t>(k)]);
    }
    return out;
}

// Writes the header for `lens` and the items; returns B.
int32_t putBlock(Codec& c, const std::vector<int>& lens, const std::vector<Item>& items) {
    c.bitPos = 0;
    putHeader(c, c.symbols, lens);
    for (const Item& it : items) putItem(c, c.symbols, it);
    int32_t bits = c.bitPos;
    while (c.bitPos & 7) BitPut(c, 1, 0);
    std::memset(c.bitBuf + c.bitPos / 8, 0, sizeof c.bitBuf - static_cast<size_t>(c.bitPos / 8));
    return bits;
}

Bytes unpack(Codec& c, int32_t bits) {
    int32_t n = LzxUnpack(c, bits);
    return Bytes(c.byteBuf, c.byteBuf + n);
}

struct BoundedLcg {
    uint64_t s;
    uint32_t below(uint32_t n) {
        s = s * 6364136223846793005u + 1442695040888963407u;
        return static_cast<uint32_t>(s >> 33) % n;
    }
};

// Literals and references of every length at short and far distances,
// until about `size` bytes; literals favour the four given bytes.
std::vector<Item> mixedItems(uint64_t seed, size_t size, const char* favoured) {
    BoundedLcg r{seed};
    std::vector<Item> items;
    size_t p = 0;
    while (p < size) {
        if (p == 0 || r.below(2) == 0) {
            int sym = r.below(3) ? favoured[r.below(4)] : static_cast<int>(r.below(256));
            items.push_back({sym, 0, 0});
            p++;
            continue;
        }
        auto maxDist = static_cast<uint32_t>(std::min<size_t>(p, r.below(2) ? 40 : 32768));
        int d = static_cast<int>(r.below(maxDist));
        int l = static_cast<int>(r.below(r.below(4) ? 20 : 256));
        items.push_back(reference(l, d));
        p += static_cast<size_t>(l + 3);
    }
    return items;
}

// Every LZ symbol has a code: four literals in 3 bits each, the other
// symbols in 9 or 10 bits.
std::vector<int> fullLens(const char* favoured) {
    std::vector<int> lens(kLzSymbols, 0);
    for (int k = 0; k < 4; k++) lens[static_cast<size_t>(favoured[k])] = 3;
    int nine = 116;
    for (auto& l : lens)
        if (l == 0) l = nine-- > 0 ? 9 : 10;
    return lens;
}

TEST(LzDecodeTest, MatchesTheModelAtEveryDistanceAndLength) {
    const char* favoured = "etao";
    auto c = newCodec();
    for (uint64_t seed = 1; seed <= 6; seed++) {
        SCOPED_TRACE(seed);
        // Sizes around the fast loop's margins as well as long blocks.
        size_t size = seed <= 3 ? 30000 : 40 * seed;
        std::vector<Item> items = mixedItems(seed, size, favoured);
        int32_t bits = putBlock(*c, fullLens(favoured), items);
        EXPECT_EQ(unpack(*c, bits), model(items));
    }
}

// Lengths 12..23 once each and three codes of 24 bits: the last of those
// begins with other root bits than the two before it, and the two 8192-entry
// subtables do not both fit, so that code is found by the search.
std::vector<int> deepLens() {
    std::vector<int> lens(kLzSymbols, 0);
    lens['a'] = 1;
    const int deep[] = {'b',
                        'c',
                        256 + 16 * 1 + 1,
                        256 + 16 * 2 + 3,
                        256 + 16 * 3 + 2,
                        256 + 16 * 8 + 10,
                        256,
                        256 + 16 * 5 + 15,
                        'd',
                        'e',
                        256 + 16 * 7 + 7,
                        256 + 16 * 4 + 9};
    for (int k = 0; k < 12; k++) lens[static_cast<size_t>(deep[k])] = 12 + k;
    lens['x'] = lens['y'] = lens[256 + 16 * 8 + 15] = 24;
    return lens;
}

std::vector<Item> deepItems(uint64_t seed, size_t count) {
    std::vector<int> lens = deepLens();
    std::vector<int> syms;
    for (int s = 0; s < kLzSymbols; s++)
        if (lens[static_cast<size_t>(s)]) syms.push_back(s);
    BoundedLcg r{seed};
    // 'a' and then L-3, D-1 references (symbol 256, a 18-bit code) give
    // room for the farthest references.
    std::vector<Item> items{{'a', 0, 0}};
    items.insert(items.end(), 6000, Item{256, 0, 0});
    int p = 1 + 6000 * 3;
    while (items.size() < 6001 + count && p < 30000) {
        int s = r.below(2) ? 'a' : syms[r.below(static_cast<uint32_t>(syms.size()))];
        if (s < 256) {
            items.push_back({s, 0, 0});
            p++;
            continue;
        }
        int lb = (s - 256) >> 4, db = (s - 256) & 15;
        int l = lb <= 1 ? lb : (1 << (lb - 1)) + static_cast<int>(r.below(1u << (lb - 1)));
        int d = db <= 1 ? db : (1 << (db - 1)) + static_cast<int>(r.below(1u << (db - 1)));
        if (d >= p) continue;
        items.push_back({s, l, d});
        p += l + 3;
    }
    return items;
}

TEST(LzDecodeTest, DeepCodesBySubtableAndBySearch) {
    auto c = newCodec();
    std::vector<Item> items = deepItems(7, 600);
    int32_t bits = putBlock(*c, deepLens(), items);
    EXPECT_EQ(unpack(*c, bits), model(items));
    // The set does what it is meant to: the last 24-bit code has no subtable
    // (kind 3 in its root entry), the others have one (kind 2).
    auto kind = [&](int s) {
        return (c->decodeTable[c->symbols.code[s] & ((1 << kDecodeRootBits) - 1)] >> 6) & 3;
    };
    EXPECT_EQ(kind('x'), 2u);
    EXPECT_EQ(kind(256 + 16 * 8 + 15), 3u);
}

// Literal codes of every length from 1 to 11 and one 11-bit reference, so
// that two literals share a root entry at every split of its 11 bits.
std::vector<int> splitLens() {
    std::vector<int> lens(kLzSymbols, 0);
    lens['j'] = 1;
    for (int k = 0; k < 9; k++) lens[static_cast<size_t>('a' + k)] = 2 + k;
    lens['k'] = lens[256 + 16 * 2 + 2] = 11;
    return lens;
}

TEST(LzDecodeTest, PairedLiteralsAtEverySplitOfTheRoot) {
    BoundedLcg r{11};
    std::vector<Item> items;
    while (items.size() < 20000) {
        uint32_t k = r.below(12);
        if (k == 11 && items.size() >= 4)
            items.push_back({256 + 16 * 2 + 2, 2 + static_cast<int>(r.below(2)),
                             2 + static_cast<int>(r.below(2))});
        else
            items.push_back({k < 9 ? static_cast<int>('a' + k) : k == 9 ? 'j' : 'k', 0, 0});
    }
    auto c = newCodec();
    int32_t bits = putBlock(*c, splitLens(), items);
    EXPECT_EQ(unpack(*c, bits), model(items));
    // The table that decoded the block pairs 'j' (1 bit) with 'j' and with
    // 'a'..'i', whose 2..10 bits fill the rest of the root exactly.
    const FresTable& t = c->symbols;
    auto entry = [&](int first, int second) {
        return c->decodeTable[static_cast<uint32_t>(t.code[first]) |
                              static_cast<uint32_t>(t.code[second]) << t.len[first]];
    };
    EXPECT_EQ(entry('j', 'i') >> 30, 2u);
    EXPECT_EQ(entry('j', 'i') >> 16 & 0xFF, uint32_t{'i'});
    EXPECT_EQ(entry('j', 'k') >> 30, 1u);  // 12 bits: no pair
    // The item-by-item path reads the same table one literal at a time.
    c->bitPos = 0;
    RecvLens(*c, c->symbols, kLzSymbols);
    for (const Item& it : items) {
        int32_t l = 0, d = 0;
        ASSERT_EQ(DecodeItem(*c, l, d), it.sym);
        if (it.sym >= 256) {
            EXPECT_EQ(l, it.l);
            EXPECT_EQ(d, it.d);
        }
    }
    EXPECT_EQ(c->bitPos, bits);
}

TEST(LzDecodeDeathTest, BitsThatBeginNoCodeAreRefusedInBothLoops) {
    // 24 one bits begin no code of the deep set; once early in a long block
    // (the fast loop) and once as the last item (the checked loop).
    auto c = newCodec();
    std::vector<Item> items = deepItems(8, 600);
    for (bool early : {true, false}) {
        c->bitPos = 0;
        putHeader(*c, c->symbols, deepLens());
        size_t at = early ? 6100 : items.size();
        for (size_t k = 0; k < items.size(); k++) {
            if (k == at) BitPut(*c, 24, 0xFFFFFF);
            putItem(*c, c->symbols, items[k]);
        }
        if (at == items.size()) BitPut(*c, 24, 0xFFFFFF);
        int32_t bits = c->bitPos;
        EXPECT_EXIT(LzxUnpack(*c, bits), ExitedWithCode(2),
                    HasSubstr("DecodeLong: code not found"));
    }
}

}  // namespace
