// HufUnpack on any coded block: it either refuses the block or yields bytes
// inside the byte buffer, whatever lies past B; its batched fast path must
// agree with decoding one symbol at a time.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t bits = 0;
    int32_t n = decodeBothWays(data, size, bits, HufUnpack);
    if (n < 0) return 0;
    Codec& c = fuzzCodec();
    static uint8_t out[kCodecBufSize];
    std::memcpy(out, c.byteBuf, static_cast<size_t>(n));
    int32_t m = 0;
    bool plain = accepted([&] {
        c.bitPos = 0;
        RecvLens(c, c.symbols, 256);
        LenToVal(c.symbols);
        MakeLookup(c, c.symbols);
        while (c.bitPos < bits && m < n) {
            if (DecodeSym(c, c.symbols) != out[m++]) fuzzFail("HufUnpack differs from DecodeSym");
        }
    });
    if (!plain || m != n || c.bitPos != bits) fuzzFail("HufUnpack differs from DecodeSym");
    return 0;
}
