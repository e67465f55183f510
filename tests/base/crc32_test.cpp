// The checksum the installer stamps on its payload: known values, and the
// same result however the data is cut into pieces (the folding of long
// runs, the word loop and the byte tail must agree with each other).
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

// Long runs go 64 bytes at a time, from any alignment, with every kind of
// tail; pieces of them must chain as the whole does.
TEST(Crc32Test, LongRunsFromAnyAlignmentAgree) {
    std::vector<uint8_t> data(70000);
    uint32_t x = 777;
    for (uint8_t& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    for (size_t start = 0; start < 16; ++start) {
        for (size_t n : {size_t{64}, size_t{79}, size_t{127}, size_t{128}, size_t{191},
                         size_t{1000}, size_t{69000} + start}) {
            std::vector<uint8_t> part(data.begin() + static_cast<long>(start),
                                      data.begin() + static_cast<long>(start + n));
            uint32_t whole = crc32(data.data() + start, n);
            ASSERT_EQ(whole, bitwise(part)) << start << " " << n;
            size_t cut = n / 3;
            EXPECT_EQ(crc32(data.data() + start + cut, n - cut, crc32(data.data() + start, cut)),
                      whole)
                << start << " " << n;
        }
    }
    // All ones and all zeros: no lane may stay out of the sum.
    for (uint8_t fill : {uint8_t{0}, uint8_t{0xFF}}) {
        std::vector<uint8_t> same(4096, fill);
        EXPECT_EQ(crc32(same.data(), same.size()), bitwise(same)) << int{fill};
    }
}

}  // namespace
