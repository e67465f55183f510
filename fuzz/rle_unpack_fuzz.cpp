// RleUnpack on any n bytes of code: it refuses them or fills exactly the
// 16384-byte block, whatever the byte buffer holds past n, and what it
// accepts it decodes as the entries are defined, one at a time. The block is
// a heap block of exactly that size, so that ASan sees any store past it.
#include "fuzz_support.h"

namespace {

// Decodes with `fill` behind the code; false when refused.
bool expand(const uint8_t* code, size_t n, uint8_t fill, uint8_t* dst) {
    Codec& c = freshCodec();
    std::memset(c.byteBuf, fill, sizeof c.byteBuf);
    std::memcpy(c.byteBuf, code, n);
    return accepted([&] { RleUnpack(c, static_cast<int32_t>(n), dst); });
}

// The entries one by one: 0x80..0x8F and a value give that many copies of
// it (c - 127), any other byte itself. False when the code does not fill
// the block exactly.
bool definition(const uint8_t* code, size_t n, uint8_t* dst) {
    if (n == size_t{kCodecBlock}) {
        std::memcpy(dst, code, n);
        return true;
    }
    size_t i = 0, o = 0;
    while (o < size_t{kCodecBlock}) {
        if (i >= n) return false;
        uint8_t b = code[i++];
        if (b < 0x80 || b > 0x8F) {
            dst[o++] = b;
            continue;
        }
        if (i >= n) return false;
        size_t count = b - 127u;
        if (count > size_t{kCodecBlock} - o) return false;
        std::memset(dst + o, code[i++], count);
        o += count;
    }
    return i == n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Up to one byte past a raw block, to reach the "input > output" check.
    size_t n = size < size_t{kCodecBlock + 1} ? size : size_t{kCodecBlock + 1};
    auto* dst = static_cast<uint8_t*>(std::malloc(kCodecBlock));
    static uint8_t escapes[kCodecBlock];
    // 0x8F behind the code: read as a run, it would change the block.
    bool first = expand(data, n, 0x8F, escapes);
    bool ok = expand(data, n, 0x00, dst);
    if (first != ok || (ok && std::memcmp(escapes, dst, kCodecBlock) != 0))
        fuzzFail("bytes past n changed RleUnpack");
    if (ok && n == size_t{kCodecBlock} && std::memcmp(dst, data, n) != 0)
        fuzzFail("RleUnpack changed a raw block");
    if (ok && n > size_t{kCodecBlock}) fuzzFail("RleUnpack accepted more code than a block");
    static uint8_t expect[kCodecBlock];
    bool defined = n <= size_t{kCodecBlock} && definition(data, n, expect);
    if (ok != defined) fuzzFail("RleUnpack and the entry definition disagree on refusing");
    if (ok && std::memcmp(dst, expect, kCodecBlock) != 0)
        fuzzFail("RleUnpack and the entry definition give different blocks");
    std::free(dst);
    return 0;
}
