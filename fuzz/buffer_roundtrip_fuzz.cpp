// Whole buffers through lzx::compress and lzx::decompress in each mode:
// the first byte selects the mode (bits 0-1: LZ, Huffman-only, row sort)
// and one or two coding threads (bit 2); the rest is the data, which must
// come back byte for byte. Row sort may refuse only data with a full block
// that has no row of 64 bytes 0xFF.
#include <vector>

#include "fileio/fileio.h"
#include "fuzz_support.h"
#include "lzx/api/buffer.h"

namespace {

bool everyFullBlockHasEmptyRow(const uint8_t* data, size_t size) {
    for (size_t block = 0; block + kCodecBlock <= size; block += kCodecBlock)
        if (!hasEmptyRow(data + block)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const lzx::Mode kModes[4] = {lzx::Mode::lz, lzx::Mode::huffman, lzx::Mode::rowsort,
                                        lzx::Mode::lz};
    lzx::Options o;
    o.mode = kModes[data[0] & 3];
    o.threads = data[0] & 4 ? 2 : 1;
    const uint8_t* in = data + 1;
    size_t n = size - 1;
    std::vector<uint8_t> packed;
    if (!accepted([&] { packed = lzx::compress(in, n, o); })) {
        if (o.mode == lzx::Mode::rowsort && !everyFullBlockHasEmptyRow(in, n)) return 0;
        fuzzFail("data could not be compressed");
    }
    std::vector<uint8_t> back;
    if (!accepted([&] { back = lzx::decompress(packed, o); })) fuzzFail("compressed data refused");
    if (back.size() != n || (n > 0 && std::memcmp(back.data(), in, n) != 0))
        fuzzFail("data came back changed");
    if (FileStackCount() != 0) fuzzFail("a file stayed open");
    return 0;
}
