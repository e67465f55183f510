#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <bit>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "entropy_support.h"
#include "lzx/codec.h"
#include "support/tempdir.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

// One parsed item: a literal (length 0) or a reference.
struct Item {
    int length, distance, byte;
    bool operator==(const Item&) const = default;
};
Item lit(int byte) {
    return {0, 0, byte};
}
Item ref(int length, int distance) {
    return {length, distance, 0};
}

Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

int32_t pack(Codec& c, const Bytes& in) {
    if (!in.empty()) std::memcpy(c.byteBuf, in.data(), in.size());
    return LzxPack(c, static_cast<int32_t>(in.size()));
}

std::vector<Item> items(const Codec& c) {
    std::vector<Item> v;
    for (int32_t k = 0; k < c.itemCount; k++) {
        uint32_t it = c.items[k];
        if (it & 0x100)
            v.push_back(
                ref(static_cast<int>((it >> 9) & 0xFF) + 3, static_cast<int>(it >> 17) + 1));
        else
            v.push_back(lit(static_cast<int>(it)));
    }
    return v;
}

std::vector<Item> parse(const Bytes& in) {
    auto c = newCodec();
    pack(*c, in);
    return items(*c);
}

// Decodes B bits in a fresh codec that holds only the stored bytes and
// garbage behind them, as the container leaves it.
Bytes unpackStored(const Bytes& stored, int32_t bits) {
    auto c = newCodec();
    std::memset(c->bitBuf, 0xA5, sizeof c->bitBuf);
    if (!stored.empty()) std::memcpy(c->bitBuf, stored.data(), stored.size());
    int32_t n = LzxUnpack(*c, bits);
    return Bytes(c->byteBuf, c->byteBuf + n);
}

void expectRoundTrip(const Bytes& in) {
    auto c = newCodec();
    int32_t bits = pack(*c, in);
    EXPECT_EQ(c->bitPos, (bits + 7) / 8 * 8);
    EXPECT_EQ(unpackStored(storedBytes(*c, bits), bits), in);
}

TEST(LzPackTest, RepeatedTriplesGiveTheKnownBlock) {
    auto c = newCodec();
    int32_t bits = pack(*c, bytesOf("abcabcabcabc"));
    EXPECT_EQ(bits, 147);
    EXPECT_THAT(items(*c), ElementsAre(lit('a'), lit('b'), lit('c'), ref(9, 3)));
    EXPECT_EQ(c->items[3] & 0x1FF, 306u);
    for (int s : {0x61, 0x62, 0x63, 306}) EXPECT_EQ(c->symbols.len[s], 2) << s;
    EXPECT_THAT(storedBytes(*c, bits), ElementsAre(0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0xFC, 0x6F,
                                                   0xE5, 0xF7, 0xA3, 0xF2, 0x7F, 0xD8, 0x02));
    EXPECT_EQ(parseHeader(*c, kLzSymbols).bits, 136);
    EXPECT_EQ(unpackStored(storedBytes(*c, bits), bits), bytesOf("abcabcabcabc"));
}

TEST(LzPackTest, GreedyParseOfRunsAndShortRepeats) {
    EXPECT_THAT(parse(Bytes(600, 7)), ElementsAre(lit(7), ref(256, 1), ref(256, 1), ref(87, 1)));
    // Fewer than 4 bytes left never start a reference.
    EXPECT_THAT(parse(bytesOf("aaa")), ElementsAre(lit('a'), lit('a'), lit('a')));
    EXPECT_THAT(parse(bytesOf("aaaaa")), ElementsAre(lit('a'), ref(4, 1)));
    // A repeat of 3 bytes stays literal, one of 4 is a reference.
    EXPECT_EQ(parse(bytesOf("abc1234abc5678")).size(), 14u);
    auto v = parse(bytesOf("abcd1234abcd5678"));
    ASSERT_EQ(v.size(), 13u);
    EXPECT_EQ(v[8], ref(4, 8));
    // Equal lengths at distances 5 and 9: the nearer wins.
    EXPECT_EQ(parse(bytesOf("abcdXabcdYabcdZ"))[7], ref(4, 5));
}

TEST(LzPackTest, WindowEndsAt1024Bytes) {
    Bytes head = randomBytes(8, 1);
    for (int gap : {1016, 1017}) {
        Bytes in = head;
        Bytes filler = randomBytes(static_cast<size_t>(gap), 2);
        in.insert(in.end(), filler.begin(), filler.end());
        in.insert(in.end(), head.begin(), head.end());
        auto v = parse(in);
        if (gap == 1016)
            EXPECT_EQ(v.back(), ref(8, 1024));
        else
            EXPECT_EQ(v.back(), lit(head.back()));
    }
}

TEST(LzPackTest, DistanceSymbolsAndExtraBits) {
    // Symbol low nibble = bit width of D - 1: D 1 -> 0, D 2 -> 1, D 1024 -> 10.
    auto c = newCodec();
    Bytes in = bytesOf("xxxxxxyzyzyzyz");
    Bytes far = randomBytes(1024, 3);
    in.insert(in.end(), far.begin(), far.end());
    in.insert(in.end(), far.begin(), far.begin() + 6);
    int32_t bits = pack(*c, in);
    auto v = items(*c);
    ASSERT_THAT(v, testing::Contains(ref(5, 1)));
    ASSERT_THAT(v, testing::Contains(ref(6, 2)));
    ASSERT_EQ(v.back(), ref(6, 1024));
    for (int32_t k = 0; k < c->itemCount; k++) {
        uint32_t s = c->items[k] & 0x1FF;
        int d = static_cast<int>(c->items[k] >> 17);
        if (s < 256) continue;
        EXPECT_EQ(static_cast<int>(s & 15), std::bit_width(static_cast<unsigned>(d)));
    }
    EXPECT_EQ(unpackStored(storedBytes(*c, bits), bits), in);
}

TEST(LzPackTest, LongestReferenceAtTheFarthestDistance) {
    // L 256, D 1024: symbol 256 + 16 * 8 + 10; 7 length extra bits hold
    // 253 - 128 = 125 and 9 distance extra bits 1023 - 512 = 511. With two
    // symbols of one occurrence each, 'a' has the code 0 and 394 the code 1.
    auto c = newCodec();
    FresInit(c->symbols, kLzSymbols);
    c->itemCount = 0;
    HufOutLit(*c, 'a');
    HufOutRef(*c, 253, 1023);
    EXPECT_EQ(c->items[1] & 0x1FF, 394u);
    c->bitPos = 0;
    EmitItems(*c);
    int32_t end = c->bitPos;
    int32_t header = parseHeader(*c, kLzSymbols).bits;
    EXPECT_EQ(end, header + 1 + 1 + 7 + 9);
    EXPECT_EQ(BitGet(*c, 1), 0u);
    EXPECT_EQ(BitGet(*c, 1), 1u);
    EXPECT_EQ(BitGet(*c, 7), 125u);
    EXPECT_EQ(BitGet(*c, 9), 511u);
}

TEST(LzPackTest, FillBitsAreZeroAndNotCounted) {
    auto c = newCodec();
    std::memset(c->bitBuf, 0xFF, sizeof c->bitBuf);
    Bytes in = randomBytes(1000, 4);
    int32_t bits = pack(*c, in);
    int fill = (8 - bits % 8) % 8;
    ASSERT_GT(fill, 0) << "pick another seed";
    EXPECT_EQ(c->bitBuf[bits / 8] >> (8 - fill), 0);
    EXPECT_EQ(c->bitPos, bits + fill);
}

TEST(LzRoundTripTest, KindsOfBlocks) {
    std::string text;
    while (text.size() < 16384)
        text += "De kaart van Vorn wordt geschud; de speler trekt er zeven. ";
    text.resize(16384);
    expectRoundTrip(bytesOf(text));
    expectRoundTrip(randomBytes(16384, 5));
    expectRoundTrip(Bytes(16384, 0));
    for (size_t n = 0; n <= 4; n++) expectRoundTrip(Bytes(n, 'q'));
    expectRoundTrip(bytesOf("abcd"));
    // Short repeats at every distance of the window.
    Bytes mixed = randomBytes(16384, 6);
    for (size_t i = 1100; i + 8 < mixed.size(); i += 37)
        std::memcpy(&mixed[i], &mixed[i - 5 - i % 1020], 5 + i % 4);
    expectRoundTrip(mixed);
}

// Block writer for the decoder: literal 'a' and chosen reference symbols.
struct RefSym {
    int lb, db;
    int symbol() const { return 256 + 16 * lb + db; }
};

void putRef(Codec& c, const FresTable& t, RefSym r, int l, int d) {
    putSym(c, t, r.symbol());
    if (r.lb > 1) BitPut(c, r.lb - 1, static_cast<uint32_t>(l));
    if (r.db > 1) BitPut(c, r.db - 1, static_cast<uint32_t>(d));
}

TEST(LzUnpackTest, DecodesSymbolsThePackerNeverWrites) {
    auto c = newCodec();
    FresTable& t = c->symbols;
    RefSym l3{0, 0}, l258{8, 0}, far{0, 11};
    putHeader(*c, t,
              sparseLens(kLzSymbols,
                         {{'a', 2}, {l3.symbol(), 2}, {l258.symbol(), 2}, {far.symbol(), 2}}));
    putSym(*c, t, 'a');
    putRef(*c, t, l3, 0, 0);                                  // L 3: "aaaa"
    for (int k = 0; k < 6; k++) putRef(*c, t, l258, 255, 0);  // 6 x L 258 at D 1
    putRef(*c, t, far, 0, 1500);                              // L 3 at D 1501
    int32_t bits = c->bitPos;
    while (c->bitPos & 7) BitPut(*c, 1, 0);
    EXPECT_EQ(unpackStored(storedBytes(*c, bits), bits), Bytes(4 + 6 * 258 + 3, 'a'));
}

// A block of literal 'a' and L-258, D-1 references, enough to pass 32768.
int32_t putLongBlock(Codec& c, int refs) {
    FresTable& t = c.symbols;
    RefSym l258{8, 0};
    putHeader(c, t, sparseLens(kLzSymbols, {{'a', 1}, {l258.symbol(), 1}}));
    putSym(c, t, 'a');
    for (int k = 0; k < refs; k++) putRef(c, t, l258, 255, 0);
    return c.bitPos;
}

TEST(LzUnpackTest, OutputMayFillTheWholeByteBuffer) {
    auto c = newCodec();
    // 1 + 127 * 258 = 32767 bytes, then one literal.
    putLongBlock(*c, 127);
    putSym(*c, c->symbols, 'a');
    int32_t bits = c->bitPos;
    EXPECT_EQ(unpackStored(storedBytes(*c, bits), bits), Bytes(kCodecBufSize, 'a'));
}

TEST(LzUnpackDeathTest, DamagedBlocksAreRefused) {
    auto c = newCodec();
    int32_t bits = pack(*c, bytesOf("abcabcabcabc"));
    EXPECT_EXIT(LzxUnpack(*c, -8), ExitedWithCode(2), HasSubstr("LzxUnpack: bad bit count"));
    EXPECT_EXIT(LzxUnpack(*c, kMaxBlockBits + 1), ExitedWithCode(2),
                HasSubstr("LzxUnpack: bad bit count"));
    EXPECT_EXIT(LzxUnpack(*c, bits - 1), ExitedWithCode(2),
                HasSubstr("LzxUnpack: too many bits read"));

    // A reference as the first item.
    c->bitPos = 0;
    putHeader(*c, c->symbols, sparseLens(kLzSymbols, {{'a', 1}, {256, 1}}));
    putSym(*c, c->symbols, 256);
    EXPECT_EXIT(LzxUnpack(*c, c->bitPos), ExitedWithCode(2),
                HasSubstr("LzxUnpack: reference before block start"));

    c->bitPos = 0;
    bits = putLongBlock(*c, 128);
    EXPECT_EXIT(LzxUnpack(*c, bits), ExitedWithCode(2), HasSubstr("LzxUnpack: output buffer full"));
    c->bitPos = 0;
    putLongBlock(*c, 127);
    putSym(*c, c->symbols, 'a');
    putSym(*c, c->symbols, 'a');
    EXPECT_EXIT(LzxUnpack(*c, c->bitPos), ExitedWithCode(2),
                HasSubstr("LzxUnpack: output buffer full"));
}

TEST(LzPackDeathTest, PackerLimits) {
    auto c = newCodec();
    EXPECT_EXIT(LzxPack(*c, kCodecBlock + 1), ExitedWithCode(2),
                HasSubstr("LzxPack: bad byte count"));
    EXPECT_EXIT(LzxPack(*c, -1), ExitedWithCode(2), HasSubstr("LzxPack: bad byte count"));
    FresInit(c->symbols, kLzSymbols);
    c->itemCount = kCodecBlock;
    EXPECT_EXIT(HufOutLit(*c, 1), ExitedWithCode(2), HasSubstr("HufOutLit: buffer full"));
    EXPECT_EXIT(HufOutRef(*c, 1, 1), ExitedWithCode(2), HasSubstr("HufOutRef: buffer full"));
}

// Any damage ends either in some output or in a fatal message, never in a
// crash (the sanitizers turn any stray access into another exit code).
#ifdef _WIN32
bool endsCleanly(int status) {
    return status == 0 || status == 2;  // Windows hands over the exit code itself
}
#else
bool endsCleanly(int status) {
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2);
}
#endif

TEST(LzUnpackDeathTest, FlippedBitsAndGarbageNeverCrash) {
    std::string text;
    while (text.size() < 4000) text += "Schoppen, harten, ruiten en klaveren. ";
    auto c = newCodec();
    int32_t bits = pack(*c, bytesOf(text));
    Bytes stored = storedBytes(*c, bits);
    for (int k = 0; k < 24; k++) {
        Bytes bad = stored;
        int32_t at = (k * 7919) % bits;
        bad[static_cast<size_t>(at / 8)] ^= static_cast<uint8_t>(1 << (at % 8));
        EXPECT_EXIT(
            {
                unpackStored(bad, bits);
                std::exit(0);
            },
            endsCleanly, "");
    }
    for (unsigned seed = 0; seed < 8; seed++) {
        Bytes junk = randomBytes(kCodecBufSize, seed);
        EXPECT_EXIT(
            {
                unpackStored(junk, kMaxBlockBits - static_cast<int32_t>(seed));
                std::exit(0);
            },
            endsCleanly, "");
    }
}

}  // namespace
