// HufUnpack on any coded block: it either refuses the block or yields bytes
// inside the byte buffer; its batched fast path must agree with decoding one
// symbol at a time.
#include "fuzz_support.h"
#include "lzx/bitio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Codec& c = freshCodec();
    int32_t bits = loadBlock(c, data, size);
    int32_t n = -1;
    if (!accepted([&] { n = HufUnpack(c, bits); })) return 0;
    if (n > kCodecBufSize) fuzzFail("HufUnpack yields more bytes than its buffer holds");
    // The same block decoded the plain way, symbol by symbol.
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
