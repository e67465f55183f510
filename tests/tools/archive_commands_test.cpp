// The lzx tool's archive commands, run as a program.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "lzx/archive.h"
#include "lzx/archive_support.h"
#include "lzx/lzx.h"
#include "support/tempdir.h"
#include "tool_runner.h"

using testing::HasSubstr;

namespace {

std::string bytes(size_t n, unsigned seed) {
    std::vector<unsigned char> v = randomBytes(n, seed);
    return std::string(v.begin(), v.end());
}

// Every regular file below root, by relative path, with its contents.
std::vector<std::pair<std::string, std::string>> tree(const std::string& root) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        files.emplace_back(std::filesystem::relative(e.path(), root).string(),
                           readFile(e.path().string()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ArchiveCommands, PackListUnpackReproducesATree) {
    ScratchDir dir;
    std::filesystem::create_directories("src/data/maps");
    std::filesystem::create_directories("src/bin");
    writeFile("src/data/maps/big.bin", bytes(4 * 1024 * 1024 + 17, 1));
    std::string text;
    while (text.size() < 2 * 1024 * 1024) text += "card " + std::to_string(text.size()) + "\n";
    writeFile("src/data/cards.txt", text);
    writeFile("src/bin/vorn.exe", bytes(70000, 2));
    writeFile("src/one", "1");
    writeFile("list.txt",
              "a.lzx\r\nsrc\\\r\n"
              "data\\maps\\big.bin|V=100|L=de|J=13\r\n#data\\maps\\big.bin\r\n"
              "data\\cards.txt|v=250|e=1\r\n#data\\cards.txt\r\n"
              "bin\\vorn.exe|V=101|R=0|D=0|J=2\r\n#bin\\vorn.exe\r\n"
              "#src\\one|V=100\r\n#one\r\n");

    ToolRun pack = runTool("pack list.txt");
    ASSERT_EQ(pack.code, 0) << pack.err;
    EXPECT_THAT(pack.out, HasSubstr("4 entries"));
    EXPECT_THAT(pack.out, HasSubstr(std::to_string(4194321 + text.size() + 70001) + " source"));

    ToolRun list = runTool("list a.lzx");
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(list.out,
              "#data\\maps\\big.bin\t4194321\tV=100\tL=de\tJ=13\n"
              "#data\\cards.txt\t" +
                  std::to_string(text.size()) +
                  "\tV=250\tE=1\n"
                  "#bin\\vorn.exe\t70000\tV=101\tJ=2\n"
                  "#one\t1\tV=100\n");

    ToolRun unpack = runTool("unpack a.lzx out --languages e --versions 12");
    ASSERT_EQ(unpack.code, 0) << unpack.err;
    // E=1 left the file scrambled; scrambling it again restores it.
    EXPECT_NE(readFile("out/data/cards.txt"), text);
    ScrambleFile("out\\data\\cards.txt");
    EXPECT_EQ(tree("out"), tree("src"));
}

TEST(ArchiveCommands, HostileNamesArePackedAsWrittenButNeverUnpacked) {
    ScratchDir dir;
    // One level down, so that "../x" is still the scratch directory's own
    // and not whatever lies beside it.
    std::filesystem::create_directories("work");
    std::filesystem::current_path("work");
    std::filesystem::create_directories("src");
    writeFile("src/f", "payload");
    for (const char* hostile :
         {"#..\\..\\x", "C:\\x", "\\x", "#sub\\..\\..\\x", "#C:x", "#. .\\x", "plain"}) {
        SCOPED_TRACE(hostile);
        writeFile("list.txt",
                  std::string("a.lzx\nsrc\\\nf|V=100\n#safe\nf|V=100\n") + hostile + "\n");
        ASSERT_EQ(runTool("pack list.txt").code, 0);
        EXPECT_THAT(runTool("list a.lzx").out, HasSubstr(std::string("\n") + hostile + "\t7"));

        ToolRun r = runTool("unpack a.lzx out/t");
        EXPECT_EQ(r.code, 2);
        EXPECT_THAT(r.err, HasSubstr("nothing written"));
        EXPECT_FALSE(pathExists("out"));  // not even the safe entry before it
        EXPECT_FALSE(pathExists("x"));
        EXPECT_FALSE(pathExists("../x"));
    }
    // Names without "#" are plain paths: inside the target only when that is
    // the current directory, as it is by default.
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=100\nplain\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);
    EXPECT_EQ(runTool("unpack a.lzx").code, 0);
    EXPECT_EQ(readFile("plain"), "payload");
    EXPECT_EQ(runTool("unpack a.lzx out --unsafe-paths").code, 0);
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=100\n#..\\x\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);
    EXPECT_EQ(runTool("unpack a.lzx out/t --unsafe-paths").code, 0);
    EXPECT_EQ(readFile("out/x"), "payload");
}

// Runs the tool with stderr on a pseudo terminal; returns what reached it.
std::string stderrOnTerminal(const std::string& args) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "(no terminal)";
    std::string slaveName = ptsname(master);
    // Held open so that what the tool wrote stays readable after it ends.
    int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    std::string cmd = std::string(LZX_TOOL) + " " + args + " >/dev/null 2>" + slaveName;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    fcntl(master, F_SETFL, O_NONBLOCK);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) text.append(buf, n);
    close(slave);
    close(master);
    return text;
}

TEST(ArchiveCommands, ProgressOnlyOnATerminal) {
    ScratchDir dir;
    std::filesystem::create_directories("src");
    writeFile("src/big", bytes(3 * 1024 * 1024, 4));
    writeFile("list.txt", "a.lzx\nsrc\\\nbig|V=100\n#big\n");

    ToolRun pack = runTool("pack list.txt");
    ASSERT_EQ(pack.code, 0);
    EXPECT_EQ(pack.err, "");
    ToolRun unpack = runTool("unpack a.lzx out");
    ASSERT_EQ(unpack.code, 0);
    EXPECT_EQ(unpack.err, "");

    std::string shown = stderrOnTerminal("unpack a.lzx out2");
    if (shown == "(no terminal)") GTEST_SKIP() << "no pseudo terminal here";
    EXPECT_THAT(shown, HasSubstr("% of 3.1 MB"));
    EXPECT_THAT(stderrOnTerminal("pack list.txt"), HasSubstr("\r1.0 MB"));
}

TEST(ArchiveCommands, InstalledVersionFileIsReadAndWrittenBack) {
    ScratchDir dir;
    std::filesystem::create_directories("src");
    writeFile("src/f", "new");
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=120\n#f\nf|V=100\n#g\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);

    // An older record of one file, and one the archive does not hold.
    LzxEntry records[2] = {};
    std::strcpy(records[0].name, "#F");
    records[0].version = 110;
    std::strcpy(records[1].name, "#other");
    records[1].version = 300;
    writeFile("lzx.ver", std::string(reinterpret_cast<char*>(records), sizeof records));

    ToolRun r = runTool("unpack a.lzx out --installed lzx.ver");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("1 added, 1 replaced, 0 kept, 3 listed"));
    std::string ver = readFile("lzx.ver");
    ASSERT_EQ(ver.size(), 3 * sizeof(LzxEntry));
    const auto* back = reinterpret_cast<const LzxEntry*>(ver.data());
    EXPECT_STREQ(back[0].name, "#f");
    EXPECT_EQ(back[0].version, 120);
    EXPECT_STREQ(back[1].name, "#other");
    EXPECT_STREQ(back[2].name, "#g");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(back[i].status, 0);

    r = runTool("unpack a.lzx out --installed lzx.ver");
    EXPECT_THAT(r.out, HasSubstr("0 added, 0 replaced, 2 kept, 3 listed"));
}

TEST(ArchiveCommands, UsageAndFatalErrors) {
    ScratchDir dir;
    for (const char* cmd : {"pack", "list", "unpack"}) {
        ToolRun help = runTool(std::string(cmd) + " --help");
        EXPECT_EQ(help.code, 0);
        EXPECT_THAT(help.out, HasSubstr(std::string("usage: lzx ") + cmd));
        EXPECT_EQ(runTool(cmd).code, 64);
    }
    EXPECT_EQ(runTool("pack a b").code, 64);
    EXPECT_EQ(runTool("unpack a.lzx out --languages dx").code, 64);
    EXPECT_EQ(runTool("unpack a.lzx out --versions 4").code, 64);
    EXPECT_EQ(runTool("unpack a.lzx out --bogus").code, 64);
    EXPECT_EQ(runTool("unpack a.lzx out extra").code, 64);
    EXPECT_EQ(runTool("unpack a.lzx out --installed").code, 64);

    ToolRun missing = runTool("pack nothing.txt");
    EXPECT_EQ(missing.code, 2);
    EXPECT_THAT(missing.err, HasSubstr("[nothing.txt] code = 209"));
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=99\nx\n");
    EXPECT_THAT(runTool("pack list.txt").err, HasSubstr("PackLZX: Version error [src\\f]"));
    writeFile("bad.lzx", "not an archive at all");
    ToolRun bad = runTool("unpack bad.lzx out");
    EXPECT_EQ(bad.code, 2);
    EXPECT_THAT(bad.err, HasSubstr("Hopen: not an LZX file"));
}

TEST(ArchiveCommands, DamagedArchivesAreRefusedBeforeWriting) {
    ScratchDir dir;
    std::filesystem::create_directories("src");
    writeFile("src/f", bytes(50000, 3));
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=100\n#first\nf|V=100\n#second\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);
    // Shorten the stream by rewriting its content without the last bytes.
    std::string content;
    HILE* in = Hopen("a.lzx", "rb");
    char buf[4096];
    for (int32_t n; (n = Hread(buf, sizeof buf, in)) > 0;) content.append(buf, n);
    Hclose(in);
    HILE* out = Hopen("cut.lzx", "wb");
    Hwrite(content.data(), static_cast<int32_t>(content.size() - 10), out);
    Hclose(out);

    ToolRun r = runTool("unpack cut.lzx out");
    EXPECT_EQ(r.code, 2);
    EXPECT_THAT(r.err, HasSubstr("[#second] has more data than the archive holds"));
    EXPECT_FALSE(pathExists("out"));
    EXPECT_EQ(runTool("list cut.lzx").code, 2);
}

TEST(ArchiveCommands, ListCheckAndUnpackSeeTheSameEntries) {
    // The index sends seeking readers to a harmless decoy while the blocks
    // in file order name "..\evil": every command refuses the file.
    ScratchDir dir;
    std::filesystem::create_directory("in");
    ASSERT_EQ(chdir("in"), 0);
    writeDecoyArchive("a.lzx", "#..\\evil", "#fine");
    for (const char* args : {"list a.lzx", "unpack a.lzx out", "unpack a.lzx out --unsafe-paths",
                             "test a.lzx", "decompress a.lzx a.bin"}) {
        ToolRun r = runTool(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_THAT(r.err, HasSubstr("damaged file, block index does not match the blocks"))
            << args;
        EXPECT_THAT(r.out, testing::Not(HasSubstr("#fine"))) << args;
    }
    EXPECT_FALSE(pathExists("out"));
    EXPECT_FALSE(pathExists("a.bin"));
    EXPECT_FALSE(pathExists("../evil"));
}

TEST(ArchiveCommands, LinksInsideTheTargetAreRefusedOrReplaced) {
    ScratchDir dir;
    std::filesystem::create_directories("src");
    std::filesystem::create_directories("out");
    std::filesystem::create_directories("elsewhere");
    writeFile("src/f", "payload");
    writeFile("secret", "outside");
    ASSERT_EQ(symlink("../elsewhere", "out/dir"), 0);
    ASSERT_EQ(symlink("../secret", "out/f"), 0);
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=100\n#first\nf|V=100\n#dir\\f\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);
    ToolRun r = runTool("unpack a.lzx out --force");
    EXPECT_EQ(r.code, 2);
    EXPECT_THAT(r.err, HasSubstr("entry [#dir\\f] leads through a link inside the target out"));
    EXPECT_THAT(r.err, HasSubstr("nothing written"));
    EXPECT_FALSE(pathExists("out/first"));
    EXPECT_TRUE(std::filesystem::is_empty("elsewhere"));

    // With --force an existing file link is replaced, its target untouched;
    // the version list is replaced the same way.
    writeFile("list.txt", "a.lzx\nsrc\\\nf|V=100\n#f\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);
    writeFile("outside.ver", "");
    ASSERT_EQ(symlink("outside.ver", "lzx.ver"), 0);
    r = runTool("unpack a.lzx out --force --installed lzx.ver");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile("secret"), "outside");
    EXPECT_EQ(readFile("out/f"), "payload");
    EXPECT_FALSE(std::filesystem::is_symlink("out/f"));
    EXPECT_EQ(readFile("outside.ver"), "");
    EXPECT_EQ(readFile("lzx.ver").size(), sizeof(LzxEntry));
}

TEST(ArchiveCommands, FailedPackKeepsTheOldArchiveAndLeavesNoIndexFile) {
    ScratchDir dir;
    std::filesystem::create_directories("src");
    std::filesystem::create_directories("out");
    writeFile("src/f", "payload");
    writeFile("list.txt", "out/a.lzx\nsrc\\\nf|V=100\n#f\n");
    ASSERT_EQ(runTool("pack list.txt").code, 0);
    const std::string good = readFile("out/a.lzx");
    writeFile("list.txt", "out/a.lzx\nsrc\\\nf|V=100\n#f\nmissing|V=100\n#m\n");
    EXPECT_EQ(runTool("pack list.txt").code, 2);
    writeFile("list.txt", "src/f\nsrc\\\nf|V=100\n#f\n");
    ToolRun self = runTool("pack list.txt");
    EXPECT_EQ(self.code, 2);
    EXPECT_THAT(self.err, HasSubstr("Archive is one of its sources"));
    EXPECT_EQ(readFile("out/a.lzx"), good);
    EXPECT_EQ(readFile("src/f"), "payload");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator("."))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"./list.txt", "./out", "./out/a.lzx", "./src", "./src/f"}));
}

}  // namespace
