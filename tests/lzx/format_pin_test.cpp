// The writer's output is a frozen file format: these files must come out
// byte for byte as they always have, whatever changes inside the writer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fileio/fileio.h"
#include "lzx/lzx.h"
#include "stream_support.h"
#include "support/tempdir.h"

namespace {

uint64_t fnv1a(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

TEST(FormatPinTest, StreamsAndArchivesKeepTheirBytes) {
    ScratchDir dir;
    FileStackClear();
    struct Pin {
        const char* mode;
        Sample kind;
        size_t size;
        size_t fileSize;
        uint64_t hash;
    };
    const Pin pins[] = {
        {"wb", Sample::Text, 40000, 6671, 987109327880542867ull},
        {"wbh", Sample::Random, 20000, 21051, 16456308860254352233ull},
        {"wbs", Sample::Rows, 33000, 23669, 2907402243249898794ull},
    };
    for (const Pin& p : pins) {
        writeStream("s.lzx", p.mode, sample(p.kind, p.size, 77));
        std::string file = readFile("s.lzx");
        EXPECT_EQ(file.size(), p.fileSize) << p.mode;
        EXPECT_EQ(fnv1a(file), p.hash) << p.mode;
    }

    // A small archive with nested folders, as the packer writes it.
    PathMakeDirs("src\\a\\b");
    writeFile("src/a/b/deep.txt", sample(Sample::Text, 30000, 5));
    writeFile("src/top.bin", sample(Sample::Random, 3000, 6));
    writeFile("list.txt",
              "pin.lzx\r\nsrc\\\r\na\\b\\deep.txt|V=120|L=de|J=13|E=1\r\n#a\\b\\deep.txt\r\n"
              "top.bin|V=100|D=1|R=1\r\n#top.bin\r\n");
    EXPECT_EQ(PackLZX("list.txt", nullptr, nullptr, nullptr, 0), 2);
    std::string archive = readFile("pin.lzx");
    EXPECT_EQ(archive.size(), 8672u);
    EXPECT_EQ(fnv1a(archive), 9570611361841524844ull);
}

}  // namespace
