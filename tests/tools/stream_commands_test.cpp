// The lzx tool's stream commands, run as a program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lzx/stream_support.h"
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

TEST(StreamCommandsTest, BestFindsSmallerFilesThatEveryReaderReads) {
    ScratchDir dir;
    std::string in = sample(Sample::Text, 200000, 3);
    writeFile("in.bin", in);
    ASSERT_EQ(runTool("compress in.bin plain.lzx").code, 0);
    // Two threads: the packer choice must reach the workers too.
    ToolRun b = runTool("compress --best in.bin best.lzx -T 2");
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_LT(std::filesystem::file_size("best.lzx"), std::filesystem::file_size("plain.lzx"));
    ASSERT_EQ(runTool("decompress best.lzx back.bin").code, 0);
    EXPECT_TRUE(readFile("back.bin") == in);
    ToolRun h = runTool("compress --best --huffman in.bin h.lzx");
    EXPECT_EQ(h.code, 64);
    EXPECT_THAT(h.err, HasSubstr("--best"));
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
    EXPECT_THAT(h.out, HasSubstr("--rowsort: bitmaps only"));
    // Row sort fails on most data: its help must say which data it takes.
    ToolRun rh = runTool("compress --help");
    EXPECT_THAT(rh.out, HasSubstr("every 16384-byte block of IN must hold at least one\n"
                                  "64-byte row of 0xFF bytes"));
    EXPECT_THAT(rh.out, HasSubstr("\"SorPack: no empty rows\""));
    for (const char* cmd : {"compress", "decompress", "test", "info"}) {
        ToolRun ch = runTool(std::string(cmd) + " --help");
        EXPECT_EQ(ch.code, 0) << cmd;
        EXPECT_THAT(ch.out, HasSubstr(std::string("usage: lzx ") + cmd)) << cmd;
    }
}

TEST(StreamCommandsTest, EveryReaderRefusesABlockIndexThatDisagreesWithTheBlocks) {
    // Sequential readers follow the blocks, seeking readers the index: a file
    // whose two disagree would show each of them different bytes.
    ScratchDir dir;
    writeFile("in.bin", data(40000, 3));
    ASSERT_EQ(runTool("compress in.bin good.lzx").code, 0);
    const std::string good = readFile("good.lzx");
    std::string swapped = good;
    auto index = swapped.end() - 12;  // three blocks
    std::swap_ranges(index, index + 4, index + 4);
    writeFile("swapped.lzx", swapped);
    writeFile("tail.lzx", good + "x");
    std::string extra = good;  // one block more than the length needs
    extra.insert(static_cast<size_t>(le32(good, 4)), 4, '\0');
    setLe32(extra, 4, le32(good, 4) + 4);
    writeFile("extra.lzx", extra);

    ToolRun t = runTool("test good.lzx swapped.lzx tail.lzx extra.lzx");
    EXPECT_EQ(t.code, 2);
    EXPECT_THAT(t.out, HasSubstr("good.lzx: OK"));
    EXPECT_THAT(t.out, HasSubstr("1 of 4 files OK"));
    EXPECT_THAT(t.err, HasSubstr("block index does not match the blocks [swapped.lzx]"));
    EXPECT_THAT(t.err, HasSubstr("file does not end right after the block index [tail.lzx]"));
    EXPECT_THAT(t.err, HasSubstr("bytes between the last block and the block index [extra.lzx]"));
    for (const char* bad : {"swapped.lzx", "tail.lzx", "extra.lzx"}) {
        ToolRun d = runTool(std::string("decompress ") + bad + " back.bin");
        EXPECT_EQ(d.code, 2) << bad;
        EXPECT_THAT(d.err, HasSubstr("Hopen: damaged file")) << bad;
        EXPECT_EQ(runTool(std::string("info ") + bad).code, 2) << bad;
    }
    EXPECT_FALSE(pathExists("back.bin"));
}

// Names of the files in the current directory, sorted.
std::vector<std::string> listing() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator("."))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(StreamCommandsTest, FailuresLeaveTheOldOutputAndNothingElse) {
    ScratchDir dir;
    writeFile("in.bin", data(50000, 4));
    ASSERT_EQ(runTool("compress in.bin good.lzx").code, 0);
    std::string bad = readFile("good.lzx");
    setLe32(bad, 16 + 4 + 10, 0x55AA55AA);  // code bytes of the first block
    writeFile("bad.lzx", bad);
    writeFile("rows.bin", std::string(20000, 'a'));
    writeFile("out", "old");
    const std::vector<std::string> before = listing();

    EXPECT_EQ(runTool("compress --rowsort rows.bin out").code, 2);  // no empty rows
    EXPECT_EQ(runTool("decompress bad.lzx out").code, 2);
    EXPECT_EQ(readFile("out"), "old");
    EXPECT_EQ(listing(), before);  // no half output, no index file

    // An output that is its own input is refused, through a link as well.
    ASSERT_EQ(symlink("in.bin", "alias"), 0);
    ToolRun same = runTool("compress in.bin alias");
    EXPECT_EQ(same.code, 2);
    EXPECT_THAT(same.err, HasSubstr("are the same file; nothing written"));
    EXPECT_EQ(runTool("decompress good.lzx good.lzx").code, 2);
    EXPECT_EQ(readFile("in.bin"), data(50000, 4));
    EXPECT_TRUE(std::filesystem::is_symlink("alias"));
}

TEST(StreamCommandsTest, NamesAreNeverCutAndLongOnesWork) {
    ScratchDir dir;
    writeFile("in.bin", data(20000, 5));
    ASSERT_EQ(runTool("compress in.bin a.lzx").code, 0);
    // The first 259 characters of the long name are an existing file.
    std::filesystem::create_directory("ddd");
    const std::string fits = "ddd/" + std::string(255, 'n');
    writeFile(fits, "keep");
    for (const char* command : {"decompress a.lzx ", "compress in.bin "}) {
        ToolRun r = runTool(command + fits + "x");
        EXPECT_EQ(r.code, 2) << command;
        EXPECT_THAT(r.err, HasSubstr("name too long")) << command;
        EXPECT_EQ(readFile(fits), "keep") << command;
    }
    // Absolute paths of well over 80 characters are ordinary.
    const std::string deep = dir.path() + "/" + std::string(100, 'p');
    std::filesystem::create_directory(deep);
    ASSERT_EQ(runTool("compress in.bin " + deep + "/x.lzx").code, 0);
    ToolRun d = runTool("decompress " + deep + "/x.lzx " + deep + "/x.bin");
    ASSERT_EQ(d.code, 0) << d.err;
    EXPECT_EQ(readFile(deep + "/x.bin"), data(20000, 5));
}

TEST(StreamCommandsTest, FifosAndDirectoriesAreRefusedNotWaitedFor) {
    ScratchDir dir;
    writeFile("in.bin", data(1000, 6));
    ASSERT_EQ(runTool("compress in.bin a.lzx").code, 0);
    ASSERT_EQ(mkfifo("fifo", 0666), 0);
    std::filesystem::create_directory("dir");
    // `timeout` turns a hang into exit code 124.
    for (const char* args :
         {"compress fifo o.lzx", "compress in.bin fifo", "decompress fifo o.bin",
          "decompress a.lzx fifo", "decompress a.lzx dir", "test fifo", "info dir"}) {
        std::string cmd =
            std::string("timeout 20 ") + LZX_TOOL + " " + args + " 2>err.txt >/dev/null";
        int status = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args;
        EXPECT_THAT(readFile("err.txt"), HasSubstr("(not a regular file)")) << args;
    }
    EXPECT_FALSE(pathExists("o.lzx"));
    EXPECT_FALSE(pathExists("o.bin"));
}

}  // namespace
