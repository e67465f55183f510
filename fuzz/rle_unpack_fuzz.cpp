// RleUnpack on any n bytes of code: it refuses them or fills exactly the
// 16384-byte block. The block sits at the end of a larger buffer, so that
// ASan sees every store past it.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Codec& c = freshCodec();
    // Up to one byte past a raw block, to reach the "input > output" check.
    size_t n = size < size_t{kCodecBlock + 1} ? size : size_t{kCodecBlock + 1};
    std::memcpy(c.byteBuf, data, n);
    uint8_t* dst = static_cast<uint8_t*>(std::malloc(kCodecBlock));
    if (accepted([&] { RleUnpack(c, static_cast<int32_t>(n), dst); })) {
        // A raw block (n = 16384) is copied unchanged.
        if (n == size_t{kCodecBlock} && std::memcmp(dst, data, n) != 0)
            fuzzFail("RleUnpack changed a raw block");
        if (n > size_t{kCodecBlock}) fuzzFail("RleUnpack accepted more code than a block");
    }
    std::free(dst);
    return 0;
}
