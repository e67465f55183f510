// The checksum the installer stamps on its payload: known values, and the
// same result however the data is cut into pieces (the word loop and the
// byte tail must agree with each other).
#include "base/crc32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// One bit at a time: slow, and obviously the reflected 0xEDB88320 CRC.
uint32_t bitwise(const std::vector<uint8_t>& data) {
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

TEST(Crc32Test, KnownValues) {
    EXPECT_EQ(crc32("", 0), 0u);
    EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
    std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(crc32(fox.data(), fox.size()), 0x414FA339u);
}

TEST(Crc32Test, EveryLengthAndEverySplitAgree) {
    std::vector<uint8_t> data(300);
    uint32_t x = 12345;
    for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    for (size_t n = 0; n <= data.size(); ++n) {
        std::vector<uint8_t> part(data.begin(), data.begin() + static_cast<long>(n));
        uint32_t whole = crc32(part.data(), n);
        ASSERT_EQ(whole, bitwise(part)) << n;
        for (size_t cut : {size_t{1}, size_t{7}, n / 2}) {
            if (cut > n) continue;
            EXPECT_EQ(crc32(part.data() + cut, n - cut, crc32(part.data(), cut)), whole) << n;
        }
    }
}

}  // namespace
