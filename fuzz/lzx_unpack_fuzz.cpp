// LzxUnpack on any coded block: it either refuses the block or yields bytes
// inside the byte buffer, whatever lies past B, and the same bytes as a
// plain item-by-item decoding.
#include "fuzz_support.h"

namespace {

// The decoder without its fast paths: one item at a time, bytes copied one
// by one. Returns the byte count; refuses what LzxUnpack must refuse too.
int32_t plainDecode(Codec& c, int32_t bits, uint8_t* out) {
    c.bitPos = 0;
    RecvLens(c, c.symbols, kLzSymbols);
    LenToVal(c.symbols);
    MakeLookup(c, c.symbols);
    int32_t p = 0;
    while (c.bitPos < bits) {
        int32_t l = 0, d = 0;
        int32_t s = DecodeItem(c, l, d);
        if (s < 256) {
            if (p >= kCodecBufSize) return -1;
            out[p++] = static_cast<uint8_t>(s);
            continue;
        }
        int32_t len = l + 3, dist = d + 1;
        if (dist > p || len > kCodecBufSize - p) return -1;
        for (int32_t k = 0; k < len; ++k, ++p) out[p] = out[p - dist];
    }
    return c.bitPos == bits ? p : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int32_t bits = 0;
    int32_t n = decodeBothWays(data, size, bits, LzxUnpack);
    if (n < 0) return 0;
    Codec& c = fuzzCodec();
    static uint8_t got[kCodecBufSize], want[kCodecBufSize];
    std::memcpy(got, c.byteBuf, static_cast<size_t>(n));
    int32_t m = -1;
    accepted([&] { m = plainDecode(c, bits, want); });
    if (m != n || std::memcmp(got, want, static_cast<size_t>(n)) != 0)
        fuzzFail("LzxUnpack differs from the plain decoding");
    return 0;
}
