// The lzx tool's stream commands, run as a program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/tempdir.h"
#include "tool_runner.h"

using testing::HasSubstr;

namespace {

// Text-like bytes with a 64-byte row of 0xFF every 1024 bytes, so that every
// block of 16384 bytes can be row-sorted.
std::string data(size_t n, unsigned seed) {
    std::vector<unsigned char> r = randomBytes(n, seed);
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) {
        s[i] = (i / 64) % 16 == 0 ? '\xFF' : static_cast<char>("abcde \n"[r[i] % 7]);
    }
    return s;
}

TEST(StreamCommandsTest, RoundTripsInEveryMode) {
    ScratchDir dir;
    for (const char* option : {"", "--huffman", "--rowsort"}) {
        for (size_t n :
             {size_t{0}, size_t{1}, size_t{16383}, size_t{16384}, size_t{16385}, size_t{3 << 20}}) {
            // A short last block is padded with zeros and has no empty row.
            if (std::string(option) == "--rowsort" && n % 16384 != 0 && n % 16384 < 64) continue;
            std::string in = data(n, static_cast<unsigned>(n));
            writeFile("in.bin", in);
            ToolRun c = runTool(std::string("compress ") + option + " in.bin out.lzx");
            ASSERT_EQ(c.code, 0) << option << " " << n << c.err;
            ToolRun d = runTool("decompress out.lzx back.bin");
            ASSERT_EQ(d.code, 0) << d.err;
            EXPECT_TRUE(readFile("back.bin") == in) << option << " " << n;
        }
    }
}

TEST(StreamCommandsTest, TestInfoAndExitCodes) {
    ScratchDir dir;
    writeFile("in.bin", data(50000, 1));
    ASSERT_EQ(runTool("compress --huffman in.bin good.lzx").code, 0);
    std::string bad = readFile("good.lzx");
    bad.resize(bad.size() / 2);
    writeFile("bad.lzx", bad);

    ToolRun t = runTool("test good.lzx bad.lzx in.bin good.lzx");
    EXPECT_EQ(t.code, 2);
    EXPECT_THAT(t.out, HasSubstr("good.lzx: OK"));
    EXPECT_THAT(t.out, HasSubstr("bad.lzx: FAILED"));
    EXPECT_THAT(t.out, HasSubstr("in.bin: FAILED"));
    EXPECT_THAT(t.out, HasSubstr("2 of 4 files OK"));
    EXPECT_THAT(t.err, HasSubstr("Hopen: not an LZX file"));
    EXPECT_EQ(runTool("test good.lzx").code, 0);

    ToolRun i = runTool("info good.lzx");
    EXPECT_EQ(i.code, 0);
    EXPECT_THAT(i.out, HasSubstr("length:       50000 bytes"));
    EXPECT_THAT(i.out, HasSubstr("blocks:       4"));
    EXPECT_THAT(i.out, HasSubstr("Huffman-only"));

    ToolRun d = runTool("decompress bad.lzx x.bin");
    EXPECT_EQ(d.code, 2);
    EXPECT_THAT(d.err, HasSubstr("Hopen: bad header"));
    writeFile("rows.bin", std::string(20000, 'a'));
    ToolRun s = runTool("compress --rowsort rows.bin r.lzx");
    EXPECT_EQ(s.code, 2);
    EXPECT_THAT(s.err, HasSubstr("SorPack: no empty rows"));

    EXPECT_EQ(runTool("").code, 64);
    EXPECT_EQ(runTool("frobnicate").code, 64);
    EXPECT_EQ(runTool("compress in.bin").code, 64);
    EXPECT_EQ(runTool("compress --huffman --rowsort in.bin o.lzx").code, 64);
    EXPECT_EQ(runTool("compress --fast in.bin o.lzx").code, 64);
    EXPECT_EQ(runTool("decompress good.lzx").code, 64);
    EXPECT_EQ(runTool("test").code, 64);
    EXPECT_EQ(runTool("info a b").code, 64);
    ToolRun h = runTool("--help");
    EXPECT_EQ(h.code, 0);
    EXPECT_THAT(h.out, HasSubstr("decompress IN OUT"));
    for (const char* cmd : {"compress", "decompress", "test", "info"}) {
        ToolRun ch = runTool(std::string(cmd) + " --help");
        EXPECT_EQ(ch.code, 0) << cmd;
        EXPECT_THAT(ch.out, HasSubstr(std::string("usage: lzx ") + cmd)) << cmd;
    }
}

}  // namespace
