// Shared by the fuzz targets: a fresh codec per input, the layout of a coded
// block inside an input, and the line between a refused input and a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/error.h"
#include "lzx/api/error.h"
#include "lzx/codec.h"

// The targets' codec context. freshCodec zeroes it for every input, so
// that a finding replays from its input alone.
inline Codec& fuzzCodec() {
    static Codec* codec = new Codec;
    return *codec;
}

inline Codec& freshCodec() {
    std::memset(&fuzzCodec(), 0, sizeof(Codec));
    return fuzzCodec();
}

// A coded block as the stream hands it to an entropy decoder: the code bytes
// at the start of the bit buffer, zeros behind them, and the bit count B.
// In the input, the low three bits of the first byte are the fill bits of
// the last code byte; the code bytes follow. Returns B.
inline int32_t loadBlock(Codec& c, const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t bytes = size - 1 < size_t{kCodecBufSize} ? size - 1 : size_t{kCodecBufSize};
    std::memcpy(c.bitBuf, data + 1, bytes);
    return static_cast<int32_t>(8 * bytes) - (data[0] & 7);
}

// Whether a 16384-byte block holds a row of 64 bytes 0xFF, which the row
// sort needs.
inline bool hasEmptyRow(const uint8_t* block) {
    for (int row = 0; row < kCodecBlock; row += 64) {
        int j = 0;
        while (j < 64 && block[row + j] == 0xFF) ++j;
        if (j == 64) return true;
    }
    return false;
}

// Runs f with fatal errors turned into exceptions; false when it refused
// its input, through the core's FatalError or the interface's lzx::Error. A
// refusal is the library's answer to damaged data, no finding; any other
// exception escapes and counts as a crash.
template <class F>
bool accepted(F&& f) {
    FatalThrowScope scope;
    try {
        f();
        return true;
    } catch (const FatalError&) {
        return false;
    } catch (const lzx::Error&) {
        return false;
    }
}

// A fault that no sanitizer sees (a wrong result): reported as a crash, so
// that libFuzzer keeps the input.
[[noreturn]] inline void fuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

// A private directory for the targets that work on files, made once per
// process below $TMPDIR (or /tmp) and removed at exit. It is not made
// current: libFuzzer reads its corpus by relative paths.
inline const std::string& scratchDir() {
    // Never destroyed, so that the exit handler still finds the name.
    static const std::string* dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        auto* path = new std::string(std::string(tmp && *tmp ? tmp : "/tmp") + "/vorn-fuzz-XXXXXX");
        if (mkdtemp(path->data()) == nullptr) {
            std::perror("scratch directory");
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(scratchDir()); });
        return path;
    }();
    return *dir;
}

inline void writeWhole(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

inline std::string readWhole(const std::string& path) {
    std::string all;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char piece[65536];
        while (size_t n = std::fread(piece, 1, sizeof piece, f)) all.append(piece, n);
        std::fclose(f);
    }
    return all;
}

// Decodes a block (data as for loadBlock) from a fresh codec, once with
// ones and once with zeros (as the stream leaves them) behind the code
// bytes: what lies past B must not change the answer. Returns the byte
// count, -1 when the decoder refused the block; the bytes stay in
// fuzzCodec().byteBuf.
template <class Decode>
int32_t decodeBothWays(const uint8_t* data, size_t size, int32_t& bits, Decode decode) {
    static uint8_t first[kCodecBufSize];
    int32_t n[2] = {-1, -1};
    for (int pass = 0; pass < 2; ++pass) {
        Codec& c = freshCodec();
        if (pass == 0) std::memset(c.bitBuf, 0xFF, sizeof c.bitBuf);
        bits = loadBlock(c, data, size);
        accepted([&] { n[pass] = decode(c, bits); });
        if (n[pass] > kCodecBufSize) fuzzFail("a decoder yields more bytes than its buffer holds");
        if (pass == 0 && n[0] > 0) std::memcpy(first, c.byteBuf, static_cast<size_t>(n[0]));
    }
    size_t same = n[0] > 0 ? static_cast<size_t>(n[0]) : 0;
    if (n[0] != n[1] || std::memcmp(first, fuzzCodec().byteBuf, same) != 0)
        fuzzFail("bytes past B changed the decoding");
    return n[1];
}
