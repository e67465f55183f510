// The --best packer writes blocks every LZ decoder reads, using what the
// default packer leaves out (far distances, lengths 3 and up to 258), and
// is smaller than the default where those help.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "entropy_support.h"
#include "lzx/codec.h"

namespace {

Bytes randomBytes(size_t n, uint64_t seed) {
    Lcg r{seed};
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(r.next() >> 7);
    return b;
}

Bytes text(size_t n) {
    static const char* kWords[] = {"schoppen ", "harten ", "ruiten ", "klaveren ", "troef ",
                                   "slag ",     "bod ",    "pas ",    "doublet\n", "Vorn "};
    Lcg r{11};
    std::string s;
    while (s.size() < n) s += kWords[r.next() % 10];
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

// Packs `in` with `pack`, decodes it; returns the bit count.
int32_t roundTrip(const Bytes& in, int32_t (*pack)(Codec&, int32_t)) {
    auto c = newCodec();
    if (!in.empty()) std::memcpy(c->byteBuf, in.data(), in.size());
    int32_t bits = pack(*c, static_cast<int32_t>(in.size()));
    EXPECT_EQ(bits % 8 == 0 || (c->bitBuf[bits / 8] >> (bits % 8)) == 0, true) << "fill bits";
    Bytes stored = storedBytes(*c, bits);
    auto d = newCodec();
    std::memcpy(d->bitBuf, stored.data(), stored.size());
    int32_t n = LzxUnpack(*d, bits);
    EXPECT_EQ(Bytes(d->byteBuf, d->byteBuf + n), in);
    return bits;
}

TEST(LzBestTest, RoundTripsOfEveryKind) {
    roundTrip({}, LzxPackBest);
    roundTrip({'a'}, LzxPackBest);
    roundTrip({'a', 'b', 'a', 'b', 'a'}, LzxPackBest);
    roundTrip(Bytes(kCodecBlock, 0), LzxPackBest);
    roundTrip(randomBytes(kCodecBlock, 1), LzxPackBest);
    roundTrip(text(kCodecBlock), LzxPackBest);
    roundTrip(text(777), LzxPackBest);
}

TEST(LzBestTest, UsesFarDistancesAndLongLengths) {
    // 4000 random bytes, 8000 others, then the first 4000 again: only a
    // distance of 12000 finds the repeat, in references of up to 258 bytes.
    Bytes head = randomBytes(4000, 2), in = head;
    Bytes middle = randomBytes(8000, 3);
    in.insert(in.end(), middle.begin(), middle.end());
    in.insert(in.end(), head.begin(), head.end());
    int32_t best = roundTrip(in, LzxPackBest);
    int32_t greedy = roundTrip(in, LzxPack);
    EXPECT_LT(best, greedy - 8 * 3500);  // the repeat costs almost nothing
}

TEST(LzBestTest, SmallerThanTheDefaultOnText) {
    Bytes in = text(kCodecBlock);
    EXPECT_LT(roundTrip(in, LzxPackBest), roundTrip(in, LzxPack) * 95 / 100);
    // Three-byte repeats close by pay for themselves as references.
    Bytes triples;
    Lcg r{4};
    while (triples.size() < 3000) {
        uint8_t t[3] = {static_cast<uint8_t>(r.next()), static_cast<uint8_t>(r.next()),
                        static_cast<uint8_t>(r.next())};
        for (int k = 0; k < 2; k++) triples.insert(triples.end(), t, t + 3);
    }
    EXPECT_LT(roundTrip(triples, LzxPackBest), roundTrip(triples, LzxPack));
}

}  // namespace
