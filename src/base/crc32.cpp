#include "base/crc32.h"

#include <array>
#include <cstring>

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

}  // namespace

uint32_t crc32(const void* data, size_t size, uint32_t crc) {
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, p += 8) {
        uint32_t a = crc ^ load32le(p), b = load32le(p + 4);
        crc = kTables[7][a & 0xFF] ^ kTables[6][a >> 8 & 0xFF] ^ kTables[5][a >> 16 & 0xFF] ^
              kTables[4][a >> 24] ^ kTables[3][b & 0xFF] ^ kTables[2][b >> 8 & 0xFF] ^
              kTables[1][b >> 16 & 0xFF] ^ kTables[0][b >> 24];
    }
    for (; size > 0; --size, ++p) crc = kTables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
