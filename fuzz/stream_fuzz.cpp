// The LZX1 read path on any file, through lzx::Reader: opening, reading to
// the end in pieces, the same through lzx::decompressFile, then seeks at
// fuzzed offsets. Input: one byte n (low 3
// bits: 0 to 7 seeks), n offsets of 4 bytes, then the file. An offset with
// its top bit clear is taken modulo the stream's length; one with it set is
// used as it is (negative, or past the end), which must be refused. Each
// successful seek must land where asked and find a byte.
//
// A refusal must leave nothing open and nothing allocated: leak checks stay on.
#include <string>

#include "fileio/fileio.h"
#include "fuzz_support.h"
#include "lzx/api/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t seeks = data[0] & 7;
    if (size < 1 + 4 * seeks) return 0;
    const uint8_t* offsets = data + 1;
    const std::string path = scratchDir() + "/in.lzx";
    writeWhole(path, data + 1 + 4 * seeks, size - 1 - 4 * seeks);

    accepted([&] {
        lzx::Reader r(path);
        const int64_t length = r.size();
        static uint8_t piece[5000];
        std::string all;
        while (size_t n = r.read(piece, sizeof piece)) all.append(piece, piece + n);
        if (static_cast<int64_t>(all.size()) != length)
            fuzzFail("reading ended before the stream's length");
        // Whole-file decompression writes from the decoded blocks in place,
        // on two threads: it must give the same bytes.
        const std::string out = scratchDir() + "/out.bin";
        if (!accepted([&] { lzx::decompressFile(path, out, {lzx::Mode::lz, 2}); }))
            fuzzFail("the whole file was refused where reading it was not");
        if (readWhole(out) != all) fuzzFail("the whole file differs from what reading gave");
        for (size_t i = 0; i < seeks; ++i) {
            uint32_t raw;
            std::memcpy(&raw, offsets + 4 * i, 4);
            int64_t at = static_cast<int32_t>(raw);
            if (!(raw & 0x80000000u)) at = length > 0 ? raw % length : 0;
            bool inside = at >= 0 && at < length;
            // A seek inside may still be refused: it decodes the block the
            // index names, which reading in order never looked at.
            if (!accepted([&] { r.seek(at); })) return;
            if (!inside) fuzzFail("a seek outside the stream was accepted");
            if (r.tell() != at) fuzzFail("tell differs from the offset sought");
            uint8_t byte;
            if (r.read(&byte, 1) != 1) fuzzFail("no byte at an offset inside the stream");
        }
        r.close();
    });
    if (FileStackCount() != 0) fuzzFail("a file stayed open");
    return 0;
}
