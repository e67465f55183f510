// One block through the whole codec chain and back, in each mode: the first
// input byte holds the stream flags (1 Huffman-only, 2 row sort), the rest is
// the block, padded the way the stream pads its last block. The decoding
// side starts from a fresh codec and sees only what the file would hold.
#include "fuzz_support.h"
#include "lzx/lzx.h"
#include "lzx/rowsort.h"

namespace {

bool hasEmptyRow(const uint8_t* block) {
    for (int r = 0; r < kSorRows; ++r) {
        int j = 0;
        while (j < kSorRowBytes && block[r * kSorRowBytes + j] == 0xFF) ++j;
        if (j == kSorRowBytes) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool huffman = (data[0] & kFlagHuffman) != 0;
    const bool rowSort = (data[0] & kFlagRowSort) != 0;
    static uint8_t block[kCodecBlock], coded[kCodecBufSize], rows[256], back[kCodecBlock];
    size_t used = size - 1 < sizeof block ? size - 1 : sizeof block;
    std::memcpy(block, data + 1, used);
    std::memset(block + used, 0, sizeof block - used);
    if (rowSort && used < sizeof block && !hasEmptyRow(block))
        std::memset(block + used, 0xFF, sizeof block - used);

    Codec& c = freshCodec();
    int32_t k = 0, bits = 0;
    bool packed = accepted([&] {
        int32_t n = 0;
        if (rowSort) {
            k = SorPack(c, block, c.bitBuf, rows);
            n = RlePack(c, c.bitBuf);
        } else {
            n = RlePack(c, block);
        }
        bits = huffman ? HufPack(c, n) : LzxPack(c, n);
    });
    if (!packed) {
        // The only block the chain may refuse: a row sort without an empty row.
        if (rowSort && !hasEmptyRow(block)) return 0;
        fuzzFail("a block could not be packed");
    }
    if (bits < 0 || bits > kPackedBitsMax) fuzzFail("packed bit count out of range");
    size_t bytes = static_cast<size_t>(bits + 7) / 8;
    std::memcpy(coded, c.bitBuf, bytes);

    Codec& d = freshCodec();
    std::memcpy(d.bitBuf, coded, bytes);
    bool unpacked = accepted([&] {
        int32_t n = huffman ? HufUnpack(d, bits) : LzxUnpack(d, bits);
        if (rowSort) {
            RleUnpack(d, n, d.bitBuf);
            SorUnpack(d, d.bitBuf, back, rows, k);
        } else {
            RleUnpack(d, n, back);
        }
    });
    if (!unpacked) fuzzFail("a packed block was refused");
    if (std::memcmp(block, back, sizeof block) != 0) fuzzFail("a block came back changed");
    return 0;
}
