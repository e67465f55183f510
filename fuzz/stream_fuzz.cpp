// The LZX1 read path on any file: Hopen, reading to the end in pieces, then
// seeks at fuzzed offsets. Input: one byte n (low 3 bits: 0 to 7 seeks),
// n offsets of 4 bytes, then the file. An offset with its top bit clear is
// taken modulo the stream's length; one with it set is used as it is, so
// that offsets before the start and past the end are tried as well.
//
// A refusal ends the handle: after a fatal error the library's state is
// undefined, so only the files are closed. Hopen's own record is lost when
// Hopen itself refuses, which is why this target runs without leak checks.
#include <string>

#include "fuzz_support.h"
#include "lzx/lzx.h"

extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t seeks = data[0] & 7;
    if (size < 1 + 4 * seeks) return 0;
    const uint8_t* offsets = data + 1;
    const std::string path = scratchDir() + "/in.lzx";
    writeWhole(path, data + 1 + 4 * seeks, size - 1 - 4 * seeks);

    HILE* h = nullptr;
    if (!accepted([&] { h = Hopen(path.c_str(), "rb"); })) {
        FileCloseAll();
        return 0;
    }
    const int32_t length = h->header.length;
    bool sound = accepted([&] {
        static uint8_t piece[5000];
        int64_t total = 0;
        while (int32_t n = Hread(piece, sizeof piece, h)) total += n;
        if (total != length || !Heof(h)) fuzzFail("Hread ended before the stream's length");
        for (size_t i = 0; i < seeks; ++i) {
            uint32_t raw;
            std::memcpy(&raw, offsets + 4 * i, 4);
            int32_t at = static_cast<int32_t>(raw);
            if (!(raw & 0x80000000u)) at = length > 0 ? static_cast<int32_t>(raw % length) : 0;
            Hseek(h, at);
            if (Htell(h) != at) fuzzFail("Htell differs from the offset sought");
            if (Hgetc(h) < 0) fuzzFail("no byte at an offset inside the stream");
        }
    });
    if (sound) {
        Hclose(h);
    } else {
        FileCloseAll();
        std::free(h);
    }
    return 0;
}
