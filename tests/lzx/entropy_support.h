// Helpers shared by the entropy-coder tests: a zeroed codec and a writer for
// hand-made blocks (any length set, also broken ones, through SendLens).
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "lzx/codec.h"

// A fixed generator (not std::mt19937's distributions, which differ between
// standard libraries) so generated inputs are the same everywhere.
struct Lcg {
    uint64_t s;
    uint32_t next() {
        s = s * 6364136223846793005u + 1442695040888963407u;
        return static_cast<uint32_t>(s >> 33);
    }
};

using Bytes = std::vector<uint8_t>;

inline std::unique_ptr<Codec> newCodec() {
    return std::make_unique<Codec>();
}

// Gives the first lens.size() symbols of `t` these lengths, writes their
// length header and their codes; the caller then writes symbols with putSym.
inline void putHeader(Codec& c, FresTable& t, const std::vector<int>& lens) {
    t.count = static_cast<int32_t>(lens.size());
    std::memset(t.len, 0, sizeof t.len);
    for (size_t i = 0; i < lens.size(); i++) t.len[i] = static_cast<uint8_t>(lens[i]);
    SendLens(c, t);
    LenToVal(t);
}

inline void putSym(Codec& c, const FresTable& t, int s) {
    BitPut(c, t.len[s], static_cast<uint32_t>(t.code[s]));
}

// Lengths of an n-symbol alphabet where only the listed symbols occur.
inline std::vector<int> sparseLens(int n, std::initializer_list<std::pair<int, int>> symLen) {
    std::vector<int> lens(static_cast<size_t>(n), 0);
    for (auto [s, l] : symLen) lens[static_cast<size_t>(s)] = l;
    return lens;
}

inline Bytes storedBytes(const Codec& c, int32_t bits) {
    return Bytes(c.bitBuf, c.bitBuf + (bits + 7) / 8);
}

// The length header as written: the 27 length-code lengths, how many of them
// took the 6-bit form, and the emitted length-code symbols with their runs
// (run 0 for a plain length). Reads from bit 0 of the bit buffer.
struct Header {
    std::vector<int> lenCodeLens;
    int wideFields = 0;
    std::vector<std::pair<int, int>> items;
    int32_t bits = 0;
};

inline Header parseHeader(Codec& c, int n) {
    Header h;
    FresTable lc{};
    lc.count = kLenCodeCount;
    c.bitPos = 0;
    for (int s = 0; s < kLenCodeCount; s++) {
        int v = static_cast<int>(BitGet(c, 3));
        if (v == 7) {
            v += static_cast<int>(BitGet(c, 3));
            h.wideFields++;
        }
        lc.len[s] = static_cast<uint8_t>(v);
        h.lenCodeLens.push_back(v);
    }
    LenToVal(lc);
    for (int i = 0; i < n;) {
        int s = UnCode(lc, BitPeek(c));
        BitSkip(c, lc.len[s]);
        int run = s == 25   ? static_cast<int>(BitGet(c, 4)) + 3
                  : s == 26 ? static_cast<int>(BitGet(c, 6)) + 20
                            : 0;
        h.items.emplace_back(s, run);
        i += run ? run : 1;
    }
    h.bits = c.bitPos;
    return h;
}
