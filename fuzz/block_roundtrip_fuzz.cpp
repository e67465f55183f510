// One block through the whole codec chain and back, in each mode: the first
// input byte holds the stream flags (1 Huffman-only, 2 row sort), the rest is
// the block, padded the way the stream pads its last block. The decoding
// side starts from a fresh codec and sees only what the file would hold.
#include "fuzz_support.h"
#include "lzx/blocks.h"
#include "lzx/lzx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool rowSort = (data[0] & kFlagRowSort) != 0;
    static uint8_t block[kCodecBlock], coded[kCodecBufSize], back[kCodecBlock];
    size_t used = size - 1 < sizeof block ? size - 1 : sizeof block;
    std::memcpy(block, data + 1, used);
    std::memset(block + used, 0, sizeof block - used);
    if (rowSort && used < sizeof block && !hasEmptyRow(block))
        std::memset(block + used, 0xFF, sizeof block - used);

    Codec& c = freshCodec();
    BlockHead head{};
    const uint32_t flags = data[0] & (kFlagHuffman | kFlagRowSort);
    if (!accepted([&] { EncodeBlock(c, flags, block, head); })) {
        // The only block the chain may refuse: a row sort without an empty row.
        if (rowSort && !hasEmptyRow(block)) return 0;
        fuzzFail("a block could not be packed");
    }
    if (head.bits < 0 || head.bits > kPackedBitsMax) fuzzFail("packed bit count out of range");
    std::memcpy(coded, c.bitBuf, static_cast<size_t>(head.bits + 7) / 8);

    // The reading side: a fresh codec, and only what the file holds.
    Codec& d = freshCodec();
    if (!accepted([&] { DecodeBlock(d, flags, head, coded, back); }))
        fuzzFail("a packed block was refused");
    if (std::memcmp(block, back, sizeof block) != 0) fuzzFail("a block came back changed");
    return 0;
}
