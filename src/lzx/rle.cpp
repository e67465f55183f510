// RLE stage of every block: runs of 3..16 equal bytes become two-byte entries
// (0x82..0x8F, value); a single byte in 0x80..0x8F is escaped as 0x80, value.
#include <bit>
#include <cstring>

#include "base/error.h"
#include "lzx/codec.h"
#include "lzx/words.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using lzx_words::load64;

constexpr int kRunMin = 3;
constexpr int kRunMax = 16;

bool isEscape(uint8_t b) {
    return b >= 0x80 && b <= 0x8F;
}

// Eight bytes at once: most of a block is single bytes that stand for
// themselves, and those are copied a word at a time.
constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighs = 0x8080808080808080u;

// The top bit of each zero byte of w; exact up to the lowest zero byte.
uint64_t zeroBytes(uint64_t w) {
    return (w - kOnes) & ~w & kHighs;
}

// The top bit of each byte of w that is an escape (0x80..0x8F); exact up to
// the lowest such byte, which is all the decoder asks for.
uint64_t escapeBits(uint64_t w) {
    return zeroBytes((w & (0xF0 * kOnes)) ^ kHighs);  // zero where a byte is an escape
}

}  // namespace

int32_t RlePack(Codec& c, const uint8_t* src) {
    uint8_t* out = c.byteBuf;
    int32_t n = 0;
    int32_t q = 0;
    // Eight bytes at a time; at the first run start or escape among them the
    // word's own masks tell which it is, and a run's length comes from two
    // words. Everything read stays inside the block while 24 bytes are left.
    while (q <= kCodecBlock - 24) {
        uint64_t w = load64(src + q);
        uint64_t runs = zeroBytes((w ^ load64(src + q + 1)) | (w ^ load64(src + q + 2)));
        uint64_t stops = runs | escapeBits(w);
        std::memcpy(out + n, &w, 8);
        if (stops == 0) {
            n += 8;
            q += 8;
            continue;
        }
        // Both masks are exact up to their lowest bit, so at the first stop.
        int at = std::countr_zero(stops);
        n += at >> 3;
        q += at >> 3;
        uint64_t v = src[q] * kOnes;
        int32_t r = 1;
        if ((runs >> at) & 1) {
            uint64_t head = load64(src + q) ^ v, tail = load64(src + q + 8) ^ v;
            r = head ? std::countr_zero(head) >> 3 : 8 + (tail ? std::countr_zero(tail) >> 3 : 8);
        }
        out[n] = static_cast<uint8_t>(r > 1 ? 127 + r : 0x80);
        out[n + 1] = static_cast<uint8_t>(v);
        n += 2;
        q += r;
    }
    // The last bytes one at a time.
    while (q < kCodecBlock) {
        uint8_t v = src[q];
        int32_t left = kCodecBlock - q;
        // A run is only looked for inside the block; near its end the run is
        // limited to the bytes left, which gives the same code as cutting it.
        int32_t r = 1;
        if (left >= kRunMin && src[q + 1] == v && src[q + 2] == v) {
            r = kRunMin;
            while (r < kRunMax && r < left && src[q + r] == v) ++r;
        }
        if (r > 1) {
            out[n++] = static_cast<uint8_t>(127 + r);
            out[n++] = v;
        } else if (isEscape(v)) {
            out[n++] = 0x80;
            out[n++] = v;
        } else {
            out[n++] = v;
        }
        q += r;
    }
    if (q != kCodecBlock) fatalError("RlePack: BUG");
    if (n < kCodecBlock) return n;
    std::memcpy(out, src, kCodecBlock);
    return kCodecBlock;
}

void RleUnpack(Codec& c, int32_t n, uint8_t* dst) {
    const uint8_t* in = c.byteBuf;
    if (n >= kCodecBlock) {
        if (n > kCodecBlock) fatalError("RleUnpack: input > output");
        std::memcpy(dst, in, kCodecBlock);
        return;
    }
    int32_t i = 0;
    int32_t o = 0;
    // Fast loop: eight bytes are stored as they are and the output moves up
    // to the first escape among them (at most 7 on); an escape then writes
    // 16 bytes of its value and moves by its count. Both stay inside dst
    // while o leaves room for 24 bytes, and the escape's value is inside the
    // input while 10 bytes are left to read.
#if defined(__SSE2__)
    // Thirty-two bytes at a time where the vector unit is there for sure:
    // text and images have long stretches without an escape. The escapes of
    // a window are taken from its mask one after the other, so that a
    // stretch of runs (zeros in a binary, a card's background) waits on no
    // load. A window writes at most 16 escapes' 16 bytes, 32 bytes as they
    // are and one more 32-byte store; it reads up to 33 bytes past its start
    // and 32 from there.
    const __m128i highNibble = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i escapeNibble = _mm_set1_epi8(static_cast<char>(0x80));
    auto load16 = [&](int32_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
    };
    auto store16 = [&](int32_t at, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), v);
    };
    auto escapeMask = [&](__m128i w) {
        return static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(w, highNibble), escapeNibble)));
    };
    while (o <= kCodecBlock - 16 * 16 - 32 - 32 && i <= n - 66) {
        __m128i w0 = load16(i), w1 = load16(i + 16);
        store16(o, w0);
        store16(o + 16, w1);
        uint32_t escapes = escapeMask(w0) | escapeMask(w1) << 16;
        if (escapes == 0) {
            i += 32;
            o += 32;
            continue;
        }
        // The bytes from `at` up to each escape are in place at o already.
        const int32_t base = i;
        int32_t at = i;
        do {
            int32_t k = base + std::countr_zero(escapes);
            o += k - at;
            store16(o, _mm_set1_epi8(static_cast<char>(in[k + 1])));
            o += in[k] - 127;
            at = k + 2;
            store16(o, load16(at));
            store16(o + 16, load16(at + 16));
            // The escape's value byte may look like an escape too.
            escapes = at - base < 32 ? escapes & ~0u << (at - base) : 0;
        } while (escapes != 0);
        if (at < base + 32) {
            o += base + 32 - at;
            at = base + 32;
        }
        i = at;
    }
#endif
    while (o <= kCodecBlock - 24 && i <= n - 10) {
        uint64_t w = load64(in + i);
        std::memcpy(dst + o, &w, 8);
        uint64_t escapes = escapeBits(w);
        if (escapes == 0) {
            i += 8;
            o += 8;
            continue;
        }
        int32_t k = std::countr_zero(escapes) >> 3;
        i += k;
        o += k;
        uint64_t v = in[i + 1] * kOnes;
        std::memcpy(dst + o, &v, 8);
        std::memcpy(dst + o + 8, &v, 8);
        o += in[i] - 127;
        i += 2;
    }
    while (o < kCodecBlock) {
        if (i >= n) fatalError("RleUnpack: too many bytes read");
        uint8_t b = in[i++];
        if (!isEscape(b)) {
            dst[o++] = b;
            continue;
        }
        if (i >= n) fatalError("RleUnpack: too many bytes read");
        int32_t count = b - 127;
        if (count > kCodecBlock - o) fatalError("RleUnpack: too many bytes written");
        std::memset(dst + o, in[i++], static_cast<size_t>(count));
        o += count;
    }
    if (i != n) fatalError("RleUnpack: too many bytes read");
}
