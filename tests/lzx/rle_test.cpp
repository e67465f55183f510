#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "lzx/codec.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

using Block = std::vector<uint8_t>;

class RleTest : public testing::Test {
  protected:
    std::unique_ptr<Codec> codec = std::make_unique<Codec>();

    Block pack(const Block& src) {
        int32_t n = RlePack(*codec, src.data());
        return Block(codec->byteBuf, codec->byteBuf + n);
    }
    Block unpack(const Block& code) {
        if (!code.empty()) std::memcpy(codec->byteBuf, code.data(), code.size());
        Block out(kCodecBlock + 16, 0xEE);
        RleUnpack(*codec, static_cast<int32_t>(code.size()), out.data());
        // Nothing beyond the block may be touched.
        EXPECT_EQ(Block(out.begin() + kCodecBlock, out.end()), Block(16, 0xEE));
        out.resize(kCodecBlock);
        return out;
    }
    // A block of zeros-free text whose tail holds `tail`.
    static Block blockEndingWith(const Block& tail) {
        Block b(kCodecBlock);
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i % 2 ? 'a' : 'b');
        std::copy(tail.begin(), tail.end(), b.end() - static_cast<long>(tail.size()));
        return b;
    }
};

using RleDeathTest = RleTest;

TEST_F(RleTest, EqualBytesGiveFullRuns) {
    Block code = pack(Block(kCodecBlock, 0x41));
    ASSERT_EQ(code.size(), 2048u);
    for (size_t i = 0; i < code.size(); i += 2) {
        EXPECT_EQ(code[i], 0x8F);
        EXPECT_EQ(code[i + 1], 0x41);
    }
    EXPECT_EQ(unpack(code), Block(kCodecBlock, 0x41));
}

TEST_F(RleTest, RunsEscapesAndShortRunsAtTheStart) {
    Block src(kCodecBlock, 0);
    size_t p = 0;
    for (int i = 0; i < 17; ++i) src[p++] = 7;          // run of 17: 0x8F 7, then 7
    src[p++] = 1, src[p++] = 2, src[p++] = 2;           // run of 2: single bytes
    src[p++] = 3, src[p++] = 0x85, src[p++] = 4;        // escaped single byte
    src[p++] = 0x85, src[p++] = 0x85, src[p++] = 0x85;  // run of three 0x85
    src[p++] = 5;
    Block code = pack(src);
    Block head(code.begin(), code.begin() + 15);
    EXPECT_EQ(head, (Block{0x8F, 7, 7, 1, 2, 2, 3, 0x80, 0x85, 4, 0x82, 0x85, 5, 0x8F, 0}));
    EXPECT_EQ(unpack(code), src);
}

TEST_F(RleTest, RunsAreCutAtTheEndOfTheBlock) {
    Block two = blockEndingWith({9, 9});
    Block code = pack(two);
    EXPECT_EQ(Block(code.end() - 3, code.end()), (Block{'a', 9, 9}));
    EXPECT_EQ(unpack(code), two);

    Block three = blockEndingWith({9, 9, 9});
    code = pack(three);
    EXPECT_EQ(Block(code.end() - 3, code.end()), (Block{'b', 0x82, 9}));
    EXPECT_EQ(unpack(code), three);

    Block twenty = blockEndingWith(Block(20, 9));
    code = pack(twenty);
    EXPECT_EQ(Block(code.end() - 4, code.end()), (Block{0x8F, 9, 0x83, 9}));
    EXPECT_EQ(unpack(code), twenty);
}

TEST_F(RleTest, RunsAndEscapesAreFoundAtEveryPosition) {
    // Single bytes are copied 8 or 32 at a time; a run start or an escape must
    // still be seen wherever it falls relative to those words, up to the end.
    struct Feature {
        Block bytes, code;
    };
    const Feature features[] = {
        {{'z', 'z', 'z'}, {0x82, 'z'}},
        {{'z', 'z'}, {'z', 'z'}},
        {{0x8A}, {0x80, 0x8A}},
        {{0x80, 0x8F}, {0x80, 0x80, 0x80, 0x8F}},
        {{'z', 'z', 'z', 'z', 'z', 'z', 'z', 'z', 'z', 'z'}, {0x89, 'z'}},
    };
    std::vector<size_t> positions;
    for (size_t p = 0; p < 72; ++p) positions.push_back(p);
    for (size_t p = kCodecBlock - 24; p < kCodecBlock; ++p) positions.push_back(p);
    // The background is single bytes with one run of 64 in the middle, which
    // keeps the code shorter than the block.
    Block background = blockEndingWith({});
    std::fill(background.begin() + 8000, background.begin() + 8064, 'r');
    const Block run{0x8F, 'r', 0x8F, 'r', 0x8F, 'r', 0x8F, 'r'};
    auto span = [](const Block& b, size_t from, size_t to) {
        return Block(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
    };
    for (const Feature& f : features) {
        for (size_t p : positions) {
            size_t end = p + f.bytes.size();
            if (end > kCodecBlock) continue;
            Block src = background;
            std::copy(f.bytes.begin(), f.bytes.end(), src.begin() + static_cast<long>(p));
            std::vector<Block> parts;
            if (p < 8000) {
                parts = {span(src, 0, p), f.code, span(src, end, 8000), run,
                         span(src, 8064, kCodecBlock)};
            } else {
                parts = {span(src, 0, 8000), run, span(src, 8064, p), f.code,
                         span(src, end, kCodecBlock)};
            }
            Block expect;
            for (const Block& part : parts) expect.insert(expect.end(), part.begin(), part.end());
            ASSERT_EQ(pack(src), expect) << "feature of " << f.bytes.size() << " at " << p;
            ASSERT_EQ(unpack(expect), src) << "feature of " << f.bytes.size() << " at " << p;
        }
    }
}

TEST_F(RleTest, IncompressibleBlocksAreStoredRaw) {
    auto random = randomBytes(kCodecBlock, 5);
    Block src(random.begin(), random.end());
    EXPECT_EQ(pack(src), src);
    EXPECT_EQ(unpack(src), src);

    // Exactly 16384 code bytes also counts as "not shorter": 8192 escaped bytes.
    Block escapes(kCodecBlock);
    for (size_t i = 0; i < escapes.size(); ++i) {
        escapes[i] = static_cast<uint8_t>(i < 4096 ? (i % 2 ? 0x80 : 0x81) : (i % 2 ? 'x' : 'y'));
    }
    EXPECT_EQ(pack(escapes), escapes);
}

TEST_F(RleTest, RoundTripsMixedBlocks) {
    for (unsigned seed = 1; seed < 30; ++seed) {
        auto r = randomBytes(kCodecBlock, seed);
        Block src(kCodecBlock);
        // Bytes from a small alphabet with the escape range, so runs of every
        // length and escapes all occur.
        for (size_t i = 0; i < src.size(); ++i) {
            src[i] = static_cast<uint8_t>(0x7E + (r[i] % (seed % 5 + 1)) * (r[i] & 1));
        }
        EXPECT_EQ(unpack(pack(src)), src) << "seed " << seed;
    }
}

TEST_F(RleTest, RunsAtEveryGapRoundTrip) {
    // Runs and escapes separated by 0 to 47 single bytes, so that a 32-byte
    // window holds many escapes, one, or none, and the single bytes between
    // two of them can be longer than one 16-byte store.
    Block src(kCodecBlock);
    size_t p = 0;
    for (size_t gap = 0; p < src.size(); gap = (gap + 7) % 48) {
        for (size_t k = 0; k < gap && p < src.size(); ++k, ++p)
            src[p] = static_cast<uint8_t>('a' + p % 2);
        size_t run = 3 + gap % 14;
        for (size_t k = 0; k < run && p < src.size(); ++k, ++p) src[p] = gap % 3 ? 'z' : 0x84;
        if (p < src.size()) src[p++] = 0x8C;
    }
    Block code = pack(src);
    ASSERT_LT(code.size(), src.size());
    EXPECT_EQ(unpack(code), src);
}

TEST_F(RleTest, RunOfTwoDecodes) {
    Block code{0x81, 'z'};
    code.push_back(0x8F);
    code.push_back(0);
    for (int i = 0; i < 1022; ++i) code.insert(code.end(), {0x8F, 0});
    code.insert(code.end(), {0x8D, 0});  // 14 more: 2 + 1023 * 16 + 14 = 16384
    Block expect(kCodecBlock, 0);
    expect[0] = expect[1] = 'z';
    EXPECT_EQ(unpack(code), expect);
}

TEST_F(RleDeathTest, DamagedCodeIsRefused) {
    EXPECT_EXIT(unpack(Block(kCodecBlock + 1, 0)), ExitedWithCode(2),
                HasSubstr("RleUnpack: input > output"));
    // Runs out of code before the block is full.
    EXPECT_EXIT(unpack(Block(100, 0x8F)), ExitedWithCode(2),
                HasSubstr("RleUnpack: too many bytes read"));
    // An escape whose value byte is missing.
    Block cut(1024 * 2 - 2, 0);
    for (size_t i = 0; i < cut.size(); i += 2) cut[i] = 0x8F;
    cut.push_back(0x85);
    EXPECT_EXIT(unpack(cut), ExitedWithCode(2), HasSubstr("RleUnpack: too many bytes read"));
    // Code left over after the block is full.
    Block full = pack(Block(kCodecBlock, 3));
    full.push_back(3);
    EXPECT_EXIT(unpack(full), ExitedWithCode(2), HasSubstr("RleUnpack: too many bytes read"));
    // The last run passes the end of the block.
    Block over(1023 * 2, 0);
    for (size_t i = 0; i < over.size(); i += 2) over[i] = 0x8F;
    over.insert(over.end(), {0x8E, 0, 0x8F, 0});
    EXPECT_EXIT(unpack(over), ExitedWithCode(2), HasSubstr("RleUnpack: too many bytes written"));
    // Single bytes left over once the block is full.
    Block tail = pack(blockEndingWith({7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7}));
    tail.insert(tail.end(), 9, 'c');
    EXPECT_EXIT(unpack(tail), ExitedWithCode(2), HasSubstr("RleUnpack: too many bytes read"));
    EXPECT_EXIT(unpack(Block{}), ExitedWithCode(2), HasSubstr("RleUnpack: too many bytes read"));
}

}  // namespace
