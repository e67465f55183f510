// Helpers for stream tests: whole streams written and read in one call, and
// sample data of the kinds the codecs treat differently.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "lzx/lzx.h"

// Writes `data` in pieces of `piece` bytes; returns Hclose's result.
inline int32_t writeStream(const std::string& name, const char* mode, const std::string& data,
                           size_t piece = 5000) {
    HILE* h = Hopen(name.c_str(), mode);
    for (size_t at = 0; at < data.size(); at += piece) {
        size_t n = std::min(piece, data.size() - at);
        Hwrite(data.data() + at, static_cast<int32_t>(n), h);
    }
    return Hclose(h);
}

inline std::string readStream(const std::string& name, const char* mode = "rb",
                              int32_t piece = 7000, int threads = 1) {
    HILE* h = Hopen(name.c_str(), mode, threads);
    std::string out;
    std::string buf(static_cast<size_t>(piece), 0);
    while (int32_t n = Hread(buf.data(), piece, h)) out.append(buf.data(), static_cast<size_t>(n));
    Hclose(h);
    return out;
}

enum class Sample { Text, Random, Rows };

// Rows: 64-byte rows, every fourth all 0xFF, the others random or repeated,
// so every block can be row-sorted.
inline std::string sample(Sample kind, size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, 0);
    static const char* const kWords[] = {"card ",   "trick ", "trump ", "Vorn ", "deal ",
                                         "score\n", "the ",   "of ",    "hand "};
    switch (kind) {
        case Sample::Text:
            for (size_t i = 0; i < n;) {
                const char* w = kWords[rng() % 9];
                for (; *w && i < n; ++w) s[i++] = *w;
            }
            break;
        case Sample::Random:
            for (char& c : s) c = static_cast<char>(rng());
            break;
        case Sample::Rows:
            for (size_t i = 0; i < n; ++i) {
                size_t row = i / 64;
                s[i] = row % 4 == 0 ? '\xFF'
                                    : static_cast<char>(row % 3 ? rng() : (row * 7 + i % 5) & 0xFF);
            }
            break;
    }
    return s;
}

inline int32_t le32(const std::string& file, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(file[at + static_cast<size_t>(i)]);
    return static_cast<int32_t>(v);
}

inline void setLe32(std::string& file, size_t at, int32_t value) {
    for (int i = 0; i < 4; ++i)
        file[at + static_cast<size_t>(i)] =
            static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
}
