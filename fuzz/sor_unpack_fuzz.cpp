// SorUnpack on any row count, row list and sorted block: it refuses them or
// rebuilds a block in which every row outside the list is all 0xFF.
#include "fuzz_support.h"
#include "lzx/rowsort.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Codec& c = freshCodec();
    int32_t k = data[0];
    uint8_t rows[256] = {};
    size_t listed = size - 1 < size_t(k) ? size - 1 : size_t(k);
    std::memcpy(rows, data + 1, listed);
    // The sorted block comes from RleUnpack, always 16384 bytes.
    static uint8_t src[kCodecBlock];
    std::memset(src, 0, sizeof src);
    size_t rest = size - 1 - listed;
    std::memcpy(src, data + 1 + listed, rest < sizeof src ? rest : sizeof src);
    uint8_t* dst = static_cast<uint8_t*>(std::malloc(kCodecBlock));
    if (accepted([&] { SorUnpack(c, src, dst, rows, k); })) {
        bool inList[256] = {};
        for (int32_t t = 0; t < k; ++t) inList[rows[t]] = true;
        for (int r = 0; r < kSorRows; ++r) {
            for (int j = 0; !inList[r] && j < kSorRowBytes; ++j)
                if (dst[r * kSorRowBytes + j] != 0xFF) fuzzFail("SorUnpack filled an unlisted row");
        }
    }
    std::free(dst);
    return 0;
}
