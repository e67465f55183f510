#include "base/crc32.h"

#include <array>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace {

// kTables[0] is the classic byte table; kTables[k][n] is the CRC of byte n
// followed by k zero bytes, so eight bytes are folded in with eight lookups
// that do not wait on each other.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables makeTables() {
    Tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t n = 0; n < 256; ++n) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    return t;
}

constexpr Tables kTables = makeTables();

uint32_t load32le(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The register (not inverted) after `size` more bytes, eight at a time.
uint32_t tableRun(const unsigned char* p, size_t size, uint32_t crc) {
    for (; size >= 8; size -= 8, p += 8) {
        uint32_t a = crc ^ load32le(p), b = load32le(p + 4);
        crc = kTables[7][a & 0xFF] ^ kTables[6][a >> 8 & 0xFF] ^ kTables[5][a >> 16 & 0xFF] ^
              kTables[4][a >> 24] ^ kTables[3][b & 0xFF] ^ kTables[2][b >> 8 & 0xFF] ^
              kTables[1][b >> 16 & 0xFF] ^ kTables[0][b >> 24];
    }
    for (; size > 0; --size, ++p) crc = kTables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VORN_CRC_CLMUL 1

// Carry-less multiplication folds 64 bytes at a time, about ten times the
// table's speed. A 16-byte piece of the message is the polynomial whose
// first bit (bit 0 of its first byte) has the highest degree; as two
// little-endian words it is H * x^64 + L. Moving it n bits further on
// (over the data that follows) keeps its CRC when it is replaced by
// H * (x^(n+64) mod P) + L * (x^n mod P), a polynomial of at most 96 bits
// that is added to the piece found there. A product of two words in this
// bit order comes out one degree short, hence the constants' x^(n-1).
constexpr uint64_t kPoly = 0x104C11DB7u;

// x^n mod P, as a word whose bit 63 - d is the coefficient of x^d.
constexpr uint64_t foldConstant(int n) {
    uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (uint64_t{1} << 32)) r ^= kPoly;
    }
    uint64_t w = 0;
    for (int d = 0; d < 32; ++d) w |= ((r >> d) & 1) << (63 - d);
    return w;
}

constexpr uint64_t kBy64High = foldConstant(575), kBy64Low = foldConstant(511);
constexpr uint64_t kBy16High = foldConstant(191), kBy16Low = foldConstant(127);

__attribute__((target("sse2"))) inline __m128i load16(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

__attribute__((target("pclmul,sse2"))) inline __m128i fold(__m128i v, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(v, k, 0x00), _mm_clmulepi64_si128(v, k, 0x11)), next);
}

// The register after `size` (at least 64) more bytes.
__attribute__((target("pclmul,sse2"))) uint32_t clmulRun(const unsigned char* p, size_t size,
                                                         uint32_t crc) {
    const __m128i by64 =
        _mm_set_epi64x(static_cast<int64_t>(kBy64Low), static_cast<int64_t>(kBy64High));
    const __m128i by16 =
        _mm_set_epi64x(static_cast<int64_t>(kBy16Low), static_cast<int64_t>(kBy16High));
    // The register goes into the first 32 bits of the message.
    __m128i a = _mm_xor_si128(load16(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i b = load16(p + 16), c = load16(p + 32), d = load16(p + 48);
    p += 64;
    size -= 64;
    for (; size >= 64; p += 64, size -= 64) {
        a = fold(a, by64, load16(p));
        b = fold(b, by64, load16(p + 16));
        c = fold(c, by64, load16(p + 32));
        d = fold(d, by64, load16(p + 48));
    }
    a = fold(fold(fold(a, by16, b), by16, c), by16, d);
    for (; size >= 16; p += 16, size -= 16) a = fold(a, by16, load16(p));
    // What is left of the folding is a message of 16 bytes with the
    // register at zero.
    alignas(16) unsigned char rest[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(rest), a);
    return tableRun(p, size, tableRun(rest, 16, 0));
}

bool haveClmul() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    return have;
}
#endif

}  // namespace

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
    const auto* p = static_cast<const unsigned char*>(data);
#ifdef VORN_CRC_CLMUL
    if (size >= 64 && haveClmul()) return ~clmulRun(p, size, ~crc);
#endif
    return ~tableRun(p, size, ~crc);
}
