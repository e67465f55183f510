#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "entropy_support.h"
#include "lzx/codec.h"
#include "support/tempdir.h"

using testing::ElementsAre;
using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

int32_t pack(Codec& c, const Bytes& in) {
    if (!in.empty()) std::memcpy(c.byteBuf, in.data(), in.size());
    return HufPack(c, static_cast<int32_t>(in.size()));
}

Bytes unpack(Codec& c, int32_t bits) {
    int32_t n = HufUnpack(c, bits);
    return Bytes(c.byteBuf, c.byteBuf + n);
}

TEST(HufOnlyTest, ThreeBytesGiveTheKnownBlock) {
    auto c = newCodec();
    int32_t bits = pack(*c, {'a', 'b', 'c'});
    EXPECT_EQ(bits, 121);
    EXPECT_EQ(c->symbols.len['a'], 2);
    EXPECT_EQ(c->symbols.len['b'], 2);
    EXPECT_EQ(c->symbols.len['c'], 1);
    EXPECT_THAT(storedBytes(*c, bits), ElementsAre(0x98, 0, 0, 0, 0, 0, 0, 0, 0, 0x58, 0xFC, 0xDF,
                                                   0x9A, 0x5F, 0xDD, 0x00));
    Header h = parseHeader(*c, 256);
    std::vector<int> fields{0, 3, 2};
    fields.insert(fields.end(), 22, 0);
    fields.insert(fields.end(), {3, 1});
    EXPECT_EQ(h.lenCodeLens, fields);
    EXPECT_EQ(h.bits, 116);
    EXPECT_EQ(unpack(*c, bits), Bytes({'a', 'b', 'c'}));
}

TEST(HufOnlyTest, EmptyAndSingleValueBlocks) {
    auto c = newCodec();
    EXPECT_EQ(pack(*c, {}), 110);
    EXPECT_EQ(unpack(*c, 110), Bytes());
    EXPECT_EQ(c->symbols.len[0], 1);

    // One bit per byte, the code 0, after the header.
    int32_t bits = pack(*c, Bytes(1000, 'z'));
    int32_t header = parseHeader(*c, 256).bits;
    EXPECT_EQ(bits, header + 1000);
    for (int32_t k = header; k < bits; k++) ASSERT_EQ((c->bitBuf[k / 8] >> (k % 8)) & 1, 0);
    EXPECT_EQ(unpack(*c, bits), Bytes(1000, 'z'));
}

TEST(HufOnlyTest, RoundTrips) {
    std::vector<Bytes> blocks{randomBytes(16384, 1), Bytes(16384, 0), Bytes(1, 9), Bytes(2, 9),
                              Bytes({1, 2, 3, 4})};
    Bytes skewed;
    for (int v = 0; v < 14; v++)
        skewed.insert(skewed.end(), size_t{1} << v, static_cast<uint8_t>(v));
    blocks.push_back(skewed);  // codes past the 10-bit table
    for (const Bytes& in : blocks) {
        auto c = newCodec();
        int32_t bits = pack(*c, in);
        EXPECT_EQ(c->bitPos, (bits + 7) / 8 * 8);
        Bytes stored = storedBytes(*c, bits);
        auto d = newCodec();
        std::memset(d->bitBuf, 0x5A, sizeof d->bitBuf);
        std::memcpy(d->bitBuf, stored.data(), stored.size());
        EXPECT_EQ(unpack(*d, bits), in);
    }
}

TEST(HufOnlyDeathTest, OutputFillsTheByteBufferAndNoMore) {
    // One 1-bit code: every zero bit after the header is one byte.
    auto c = newCodec();
    pack(*c, Bytes(8, 0));
    int32_t header = parseHeader(*c, 256).bits;
    std::memset(c->bitBuf + (header + 7) / 8, 0, sizeof c->bitBuf - (header + 7) / 8);
    EXPECT_EQ(unpack(*c, header + kCodecBufSize), Bytes(kCodecBufSize, 0));
    EXPECT_EXIT(HufUnpack(*c, header + kCodecBufSize + 1), ExitedWithCode(2),
                HasSubstr("HufUnpack: output buffer full"));
}

TEST(HufOnlyTest, LongAndShortCodesInterleaved) {
    // Codes of 1 to 14 bits, the long ones (past the 10-bit table) spread
    // all through the block, so they meet every decoding path.
    Bytes in;
    for (int v = 0; v < 14; v++) in.insert(in.end(), size_t{1} << v, static_cast<uint8_t>(v));
    Bytes mixed;
    for (size_t i = 0, j = in.size(); i < j; i++, j--) {
        mixed.push_back(in[i]);
        if (i + 1 < j) mixed.push_back(in[j - 1]);
    }
    mixed.resize(kCodecBlock);
    auto c = newCodec();
    int32_t bits = pack(*c, mixed);
    EXPECT_GT(c->symbols.len[0], kLookupBits);
    EXPECT_EQ(unpack(*c, bits), mixed);
}

TEST(HufOnlyDeathTest, LimitsAndDamage) {
    auto c = newCodec();
    EXPECT_EXIT(HufPack(*c, kCodecBlock + 1), ExitedWithCode(2),
                HasSubstr("HufPack: bad byte count"));
    int32_t bits = pack(*c, {'a', 'b', 'c'});
    EXPECT_EXIT(HufUnpack(*c, -1), ExitedWithCode(2), HasSubstr("HufUnpack: bad bit count"));
    EXPECT_EXIT(HufUnpack(*c, kMaxBlockBits + 1), ExitedWithCode(2),
                HasSubstr("HufUnpack: bad bit count"));
    // The last code is 'c', one bit: B - 1 ends cleanly after 'b', B - 2 does not.
    EXPECT_EXIT(HufUnpack(*c, bits - 2), ExitedWithCode(2),
                HasSubstr("HufUnpack: too many bits read"));

    // A single one-bit code: a 1 bit begins no code, and a full buffer of
    // zero bits decodes to more bytes than the byte buffer holds.
    pack(*c, Bytes(8, 'z'));
    int32_t header = parseHeader(*c, 256).bits;
    std::memset(c->bitBuf + (header + 7) / 8, 0, sizeof c->bitBuf - (header + 7) / 8);
    EXPECT_EXIT(HufUnpack(*c, kMaxBlockBits), ExitedWithCode(2),
                HasSubstr("HufUnpack: output buffer full"));
    BitPut(*c, 1, 1);  // c->bitPos stands right after the header
    EXPECT_EXIT(HufUnpack(*c, header + 1), ExitedWithCode(2),
                HasSubstr("DecodeLong: code not found"));
}

}  // namespace
