// Tool conventions: the thread count never changes a file, "-" reads stdin
// and writes stdout, --version, and `test` checks every file it is given.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lzx/stream_support.h"
#include "support/tempdir.h"
#include "tool_runner.h"

namespace {

using ::testing::HasSubstr;

TEST(ToolConventions, ThreadsAndStandardStreamsGiveTheSameFiles) {
    ScratchDir dir;
    std::string in = sample(Sample::Text, 700000, 21) + sample(Sample::Random, 50000, 22);
    writeFile("in.bin", in);
    ASSERT_EQ(runTool("compress in.bin one.lzx -T 1").code, 0);
    const std::string one = readFile("one.lzx");
    // OUT "-": runTool catches stdout in r.out.
    auto output = [](const std::string& args, const ToolRun& r, const char* file) {
        bool toStdout = args.size() >= 2 && args.compare(args.size() - 2, 2, " -") == 0;
        return toStdout || args.find(" - <") != std::string::npos ? r.out : readFile(file);
    };
    for (std::string args :
         {"compress in.bin t2.lzx -T 2", "compress -T3 in.bin t2.lzx", "compress in.bin t2.lzx",
          "compress - t2.lzx <in.bin", "compress in.bin -", "compress - - <in.bin"}) {
        ToolRun r = runTool(args);
        ASSERT_EQ(r.code, 0) << args << r.err;
        EXPECT_TRUE(output(args, r, "t2.lzx") == one) << args;
    }
    for (std::string args :
         {"decompress one.lzx back.bin -T 2", "decompress one.lzx back.bin",
          "decompress - back.bin <one.lzx", "decompress one.lzx -", "decompress - - <one.lzx"}) {
        ToolRun r = runTool(args);
        ASSERT_EQ(r.code, 0) << args << r.err;
        EXPECT_TRUE(output(args, r, "back.bin") == in) << args;
    }
    EXPECT_EQ(runTool("compress in.bin x.lzx -T 0").code, 64);
    EXPECT_EQ(runTool("compress in.bin x.lzx -T").code, 64);
    // Damage read from stdin fails like a damaged file and writes nothing.
    writeFile("bad.lzx", one.substr(0, one.size() / 2));
    ToolRun bad = runTool("decompress - out.bin -T 2 <bad.lzx");
    EXPECT_EQ(bad.code, 2);
    EXPECT_FALSE(pathExists("out.bin"));

    ToolRun v = runTool("--version");
    EXPECT_EQ(v.code, 0);
    EXPECT_THAT(v.out, HasSubstr("lzx 1."));
    EXPECT_THAT(runTool("compress --help").out, HasSubstr("copied to stdout"));
}

TEST(ToolConventions, ArchiveCommandsTakeAThreadCount) {
    ScratchDir dir;
    writeFile("a.txt", sample(Sample::Text, 200000, 31));
    writeFile("list.txt", "one.lzx\n.\\\n#a.txt|V=101\n#a.txt\n");
    ASSERT_EQ(runTool("pack -T 1 list.txt").code, 0);
    const std::string one = readFile("one.lzx");
    ASSERT_EQ(runTool("pack list.txt -T2").code, 0);
    EXPECT_TRUE(readFile("one.lzx") == one);
    ASSERT_EQ(runTool("unpack one.lzx out -T 2").code, 0);
    EXPECT_TRUE(readFile("out/a.txt") == readFile("a.txt"));
    EXPECT_EQ(runTool("unpack one.lzx out -T 0").code, 64);
    EXPECT_EQ(runTool("pack -T list.txt").code, 64);
}

TEST(ToolConventions, TestChecksEveryFileAndCountsThem) {
    ScratchDir dir;
    writeFile("in.bin", sample(Sample::Text, 100000, 23));
    ASSERT_EQ(runTool("compress in.bin good.lzx").code, 0);
    ToolRun t = runTool("test in.bin good.lzx missing.lzx good.lzx");
    EXPECT_EQ(t.code, 2);
    EXPECT_THAT(t.out, HasSubstr("in.bin: FAILED\ngood.lzx: OK\nmissing.lzx: FAILED\ngood.lzx: OK\n"
                                 "2 of 4 files OK"));
    EXPECT_THAT(t.err,
                HasSubstr("lzx test: missing.lzx: File Error : name = [missing.lzx] code = 209"));
}

}  // namespace
