// The default encoders' output is frozen: stored files and other builds must
// see the same bytes whatever the encoder does to be fast. The digests below
// were taken from the plain greedy encoder before any speed work; a change to
// the parse, the Huffman code or the bit writer shows up as a new digest.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "entropy_support.h"
#include "lzx/codec.h"

namespace {

// Words with repeats near and far, so chains get long and the window edge
// at 1024 bytes is crossed often.
Bytes wordText(uint64_t seed, size_t n) {
    static const char* kWords[] = {"kaart",  "troef",   "slag",     "the ",    "card",
                                   "trick",  "partner", "schoppen", "harten",  "\r\n",
                                   ", ",     "int32_t", "return",   "{",       "}",
                                   "static", "0x",      "Vorn",     "Velmora", " "};
    Lcg r{seed};
    Bytes out;
    while (out.size() < n) {
        const char* w = kWords[r.next() % 20];
        out.insert(out.end(), w, w + std::strlen(w));
        if (r.next() % 7 == 0) out.push_back(static_cast<uint8_t>('a' + r.next() % 26));
    }
    out.resize(n);
    return out;
}

// Random bytes with copies of earlier stretches at every distance up to a
// little beyond the window and lengths up to beyond the longest match.
Bytes copies(uint64_t seed, size_t n) {
    Lcg r{seed};
    Bytes out;
    while (out.size() < n) {
        if (out.size() > 8 && r.next() % 3 != 0) {
            size_t dist = 1 + r.next() % std::min<size_t>(out.size(), 1100);
            // One draw per statement, so that every compiler makes them in
            // the same order.
            uint32_t draw = r.next();
            size_t len = 1 + draw % (r.next() % 4 == 0 ? 300 : 12);
            size_t from = out.size() - dist;
            for (size_t k = 0; k < len; k++) out.push_back(out[from + k]);
        } else {
            out.push_back(static_cast<uint8_t>(r.next() >> 8));
        }
    }
    out.resize(n);
    return out;
}

// Image-like rows: runs of a few palette colours with noise.
Bytes rows(uint64_t seed, size_t n) {
    Lcg r{seed};
    Bytes out;
    uint8_t colour = 0;
    while (out.size() < n) {
        if (r.next() % 8 == 0) colour = static_cast<uint8_t>(r.next() % 16);
        out.push_back(colour);
    }
    return out;
}

Bytes random(uint64_t seed, size_t n) {
    Lcg r{seed};
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(r.next() >> 11);
    return out;
}

// FNV-1a over the bit count and the stored bytes.
uint64_t digest(const Codec& c, int32_t bits) {
    uint64_t h = 14695981039346656037u;
    auto mix = [&](uint8_t b) { h = (h ^ b) * 1099511628211u; };
    for (int k = 0; k < 4; k++) mix(static_cast<uint8_t>(bits >> (8 * k)));
    for (uint8_t b : storedBytes(c, bits)) mix(b);
    return h;
}

template <typename Pack>
uint64_t packDigest(const Bytes& in, Pack pack) {
    auto c = newCodec();
    if (!in.empty()) std::memcpy(c->byteBuf, in.data(), in.size());
    return digest(*c, pack(*c, static_cast<int32_t>(in.size())));
}

struct Pinned {
    const char* name;
    Bytes input;
    uint64_t lz, huf;
};

std::vector<Pinned> pinned() {
    return {
        {"empty", {}, 0xddb18e62ed257050u, 0x3e9cb8ad14bd1250u},
        {"three bytes", {0x61, 0x62, 0x63}, 0x81ae946cca296c11u, 0x4a20656abff4babbu},
        {"600 equal", Bytes(600, 0x41), 0x32ab36d8afdc128au, 0xe88a1c2ea0e7d3e6u},
        {"text", wordText(1, kCodecBlock), 0xa6a6458f5eb67344u, 0x4b3abe48a1f1b9f4u},
        {"text, short", wordText(2, 5000), 0x15e1eb326d4ef98fu, 0x5337e1fa99b75944u},
        {"copies", copies(3, kCodecBlock), 0x4563f1be24d6c112u, 0x79315a4a4e9a0898u},
        {"copies, other", copies(4, kCodecBlock), 0x514f894410673575u, 0x3fc412312e01123du},
        {"rows", rows(5, kCodecBlock), 0xb1ccf765642b1d3cu, 0xbc2540bd8ac8a457u},
        {"random", random(6, kCodecBlock), 0x399ad9e28cbeef74u, 0x19ff31d54aca52c1u},
        {"random, odd size", random(7, 12345), 0x5cfc21d536260e62u, 0x46db84193a7935edu},
    };
}

TEST(EncoderPin, LzAndHuffmanOnlyOutputIsUnchanged) {
    for (const Pinned& p : pinned()) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(packDigest(p.input, LzxPack), p.lz);
        EXPECT_EQ(packDigest(p.input, HufPack), p.huf);
    }
}

}  // namespace
