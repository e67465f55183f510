// Build tool: prints the CRC-32 of a file as 0xXXXXXXXX, for the checksum
// that the installer compiles in beside its payload.
#include <cstdio>
#include <vector>

#include "base/crc32.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorn-payload-crc FILE\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> buffer(1 << 16);
    uint32_t crc = 0;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
        crc = crc32(buffer.data(), n, crc);
    bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("0x%08X\n", crc);
    return 0;
}
