// RecvLens on any length header, followed by the decoder's next steps: what
// it accepts must be a prefix code, so that every symbol decodes from its
// own code. Colliding codes would make a damaged block decode silently.
// The decoders' table build hands out the codes itself; they must be
// LenToVal's.
#include <algorithm>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Codec& c = freshCodec();
    // The alphabets in use (Huffman-only, LZ) and the extremes of the table.
    static const int32_t kCounts[4] = {256, kLzSymbols, 1, kFresMax};
    int32_t n = kCounts[data[0] & 3];
    loadBlock(c, data, size);
    FresTable& t = c.symbols;
    if (!accepted([&] {
            RecvLens(c, t, n);
            LenToVal(t);
            MakeLookup(c, t);
        }))
        return 0;
    static FresTable built;
    built = t;
    std::fill(built.code, built.code + kFresMax, -1);
    if (!accepted([&] { MakeDecodeTable(c, built); }))
        fuzzFail("the decode table refused lengths that RecvLens accepted");
    for (int32_t i = 0; i < n; ++i) {
        if (t.len[i] != 0 && built.code[i] != t.code[i])
            fuzzFail("the decode table and LenToVal give different codes");
    }
    // Short codes own every lookup entry they begin; long codes own none and
    // are found by search, whatever bits follow them.
    constexpr uint32_t kStreamBits = (1u << 24) - 1;
    for (int32_t i = 0; i < n; ++i) {
        int l = t.len[i];
        if (l == 0) continue;
        if (l > kMaxCodeLen) fuzzFail("RecvLens accepted a length above 24");
        uint32_t code = static_cast<uint32_t>(t.code[i]);
        if (l <= kLookupBits) {
            for (uint32_t j = code; j < 1024; j += 1u << l)
                if (c.lookup[j] != i) fuzzFail("RecvLens accepted lengths whose codes collide");
            continue;
        }
        if (c.lookup[code & 1023] != kFresMax) fuzzFail("a short code begins a long one");
        for (uint32_t bits : {code, code | (kStreamBits & ~((1u << l) - 1))}) {
            int32_t s = -1;
            accepted([&] { s = DecodeLong(t, bits); });
            if (s != i) fuzzFail("RecvLens accepted lengths whose codes collide");
        }
    }
    return 0;
}
