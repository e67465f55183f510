// RleUnpack on any n bytes of code: it refuses them or fills exactly the
// 16384-byte block, whatever the byte buffer holds past n. The block is a
// heap block of exactly that size, so that ASan sees any store past it.
#include "fuzz_support.h"

namespace {

// Decodes with `fill` behind the code; false when refused.
bool expand(const uint8_t* code, size_t n, uint8_t fill, uint8_t* dst) {
    Codec& c = freshCodec();
    std::memset(c.byteBuf, fill, sizeof c.byteBuf);
    std::memcpy(c.byteBuf, code, n);
    return accepted([&] { RleUnpack(c, static_cast<int32_t>(n), dst); });
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
    std::free(dst);
    return 0;
}
