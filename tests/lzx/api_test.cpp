// The library interface: results independent of threads, failures that come
// back as exceptions with the library's messages and leave nothing behind,
// archives written from code and unpacked with their filters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "fileio/fileio.h"
#include "lzx/api/archive.h"
#include "lzx/api/buffer.h"
#include "lzx/api/stream.h"
#include "stream_support.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// Every name in the directory: the checks that nothing is left behind.
std::vector<std::string> names(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class ApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Private temporaries go here, where the test can see them.
        setenv("TMPDIR", dir.path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        EXPECT_EQ(FileStackCount(), 0);
    }
    ScratchDir dir;
};

TEST_F(ApiTest, ThreadCountNeverChangesTheFile) {
    std::string data = sample(Sample::Text, 300000, 1) + sample(Sample::Random, 70000, 2);
    std::string rows = sample(Sample::Rows, 5 * kBlockSize + 100, 3);
    for (lzx::Mode mode : {lzx::Mode::lz, lzx::Mode::huffman, lzx::Mode::rowsort}) {
        const std::string& in = mode == lzx::Mode::rowsort ? rows : data;
        std::vector<uint8_t> one = lzx::compress(in.data(), in.size(), {mode, 1});
        for (int threads : {2, 3, 0}) {
            EXPECT_EQ(lzx::compress(in.data(), in.size(), {mode, threads}), one);
            EXPECT_EQ(lzx::decompress(one, {mode, threads}), bytes(in));
        }
        // The buffer image is exactly what the installer's stream writes.
        ASSERT_EQ(writeStream("core.lzx",
                              mode == lzx::Mode::lz        ? "wb"
                              : mode == lzx::Mode::huffman ? "wbh"
                                                           : "wbs",
                              in),
                  static_cast<int32_t>(one.size()));
        EXPECT_EQ(bytes(readFile("core.lzx")), one);
    }
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"core.lzx"});
}

// A container cut short after it was opened: blocks are read while the
// workers already decode the first of them, and those past the cut must be
// neither waited for nor served. Every thread count serves the same bytes
// and stops at the same block with the same message.
TEST_F(ApiTest, ContainerCutAfterOpeningStopsWhereOneThreadStops) {
    const std::string data = sample(Sample::Random, 200 * 16384, 44);
    const std::vector<uint8_t> whole = lzx::compress(data.data(), data.size());
    std::string stop;
    for (int threads : {1, 2, 3}) {
        writeFile("cut.lzx", std::string(whole.begin(), whole.end()));
        lzx::Reader r("cut.lzx", {lzx::Mode::lz, threads});
        std::filesystem::resize_file("cut.lzx", whole.size() / 2);
        std::string got(16384, 0);
        size_t at = 0;
        std::string message = "no failure";
        try {
            while (r.read(got.data(), got.size()) == got.size()) {
                ASSERT_EQ(got, data.substr(at, got.size())) << threads << " threads";
                at += got.size();
            }
        } catch (const lzx::Error& e) {
            message = e.what();
        }
        std::string here = std::to_string(at) + ": " + message;
        if (threads == 1) stop = here;
        EXPECT_EQ(here, stop) << threads << " threads";
    }
    EXPECT_NE(stop.find("LZX DoFread failed"), std::string::npos) << stop;
    EXPECT_GT(std::stoul(stop), 16384u * 50) << stop;  // the cut, not the start, stopped it
    EXPECT_EQ(FileStackCount(), 0);
}

TEST_F(ApiTest, TwoThreadsWithTheirOwnObjectsGetWhatOneThreadGets) {
    std::string a = sample(Sample::Text, 400000, 7);
    std::string b = sample(Sample::Random, 150000, 8) + sample(Sample::Text, 90000, 9);
    auto roundTrip = [](const std::string& in, const std::string& file,
                        std::vector<uint8_t>& packed, std::string& back) {
        for (int i = 0; i < 3; ++i) {
            lzx::Writer w(file);
            w.write(in.data(), in.size());
            w.close();
            packed = bytes(readFile(file));
            lzx::Reader r(file);
            back.assign(static_cast<size_t>(r.size()), 0);
            r.read(back.data(), back.size());
            r.seek(r.size() / 2);
            char c = 0;
            r.read(&c, 1);
            if (c != in[in.size() / 2]) back = "seek went wrong";
        }
    };
    std::vector<uint8_t> pa1, pb1, pa2, pb2;
    std::string ba1, bb1, ba2, bb2;
    roundTrip(a, "a1.lzx", pa1, ba1);
    roundTrip(b, "b1.lzx", pb1, bb1);
    std::thread ta([&] { roundTrip(a, "a2.lzx", pa2, ba2); });
    std::thread tb([&] { roundTrip(b, "b2.lzx", pb2, bb2); });
    ta.join();
    tb.join();
    EXPECT_EQ(pa2, pa1);
    EXPECT_EQ(pb2, pb1);
    EXPECT_EQ(ba1, a);
    EXPECT_EQ(bb1, b);
    EXPECT_EQ(ba2, a);
    EXPECT_EQ(bb2, b);
}

// Each way of feeding damage gets the library's message back, and leaves no
// open file, no temporary and no unfinished output.
TEST_F(ApiTest, DamageComesBackAsAnErrorAndLeavesNothingBehind) {
    std::string data = sample(Sample::Text, 5 * kBlockSize, 4);
    std::vector<uint8_t> good = lzx::compress(data.data(), data.size());
    std::vector<std::string> keep;
    auto expectError = [&](auto call, const std::string& text) {
        try {
            call();
            ADD_FAILURE() << "no error, expected " << text;
        } catch (const lzx::Error& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos)
                << e.what() << " / " << text;
        }
        EXPECT_EQ(FileStackCount(), 0);
        EXPECT_EQ(names(dir.path()), keep) << text;
    };
    expectError([&] { lzx::decompress(bytes("LZX0 is not what this file holds")); },
                "Hopen: not an LZX file");
    expectError([&] { lzx::decompress(bytes("LZX1")); }, "LZX DoFread failed");
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    expectError([&] { lzx::decompress(cut); }, "Hopen: bad header");
    // A flipped bit inside the third block's code, with one and two threads.
    for (int threads : {1, 2}) {
        std::vector<uint8_t> bad = good;
        int32_t third = static_cast<int32_t>(bad[good.size() - 12] | bad[good.size() - 11] << 8);
        for (int i = 8; i < 40; ++i) bad[static_cast<size_t>(third + i)] ^= 0x5A;
        try {
            std::vector<uint8_t> back = lzx::decompress(bad, {lzx::Mode::lz, threads});
            EXPECT_NE(back, bytes(data));  // undetected damage must at least show
        } catch (const lzx::Error& e) {
            EXPECT_GT(std::strlen(e.what()), 5u);  // the decoder's own message
        }
        EXPECT_EQ(FileStackCount(), 0);
        EXPECT_EQ(names(dir.path()), std::vector<std::string>{});
    }
    // Row sort of data without empty rows fails while writing: no output stays.
    expectError(
        [&] {
            lzx::compress(data.data(), data.size(), {lzx::Mode::rowsort, 2});
        },
        "SorPack");
    writeFile("plain.txt", data);
    keep = {"plain.txt"};
    expectError(
        [&] {
            lzx::compressFile("plain.txt", "out.lzx", {lzx::Mode::rowsort, 1});
        },
        "SorPack");
    fs::remove("plain.txt");
    keep = {};
    expectError([&] { lzx::decompressFile("missing.lzx", "out.bin"); }, "code = 209");
    // A reader that failed stays failed instead of handing out stale bytes.
    // The open checks the block layout; damage inside a block's code shows
    // only when it is decoded.
    std::vector<uint8_t> bad = good;
    for (int i = 24; i < 64; ++i) bad[static_cast<size_t>(i)] ^= 0x5A;
    writeFile("bad.lzx", std::string(bad.begin(), bad.end()));
    {
        lzx::Reader r("bad.lzx");
        std::string out(data.size(), 0);
        EXPECT_THROW(r.read(out.data(), out.size()), lzx::Error);
        try {
            r.read(out.data(), 1);
            ADD_FAILURE() << "a failed reader read again";
        } catch (const lzx::Error& e) {
            EXPECT_STREQ(e.what(), "Hread: not a valid HILE *");
        }
    }
    // A block that cannot be decoded: whole-file decompression leaves nothing.
    bad = good;
    const std::string file(good.begin(), good.end());
    const auto third = static_cast<size_t>(le32(file, good.size() - 12));
    const auto fourth = static_cast<size_t>(le32(file, good.size() - 8));
    for (size_t i = third + 4; i < fourth; ++i) bad[i] = 0xFF;
    writeFile("bad.lzx", std::string(bad.begin(), bad.end()));
    keep = {"bad.lzx"};
    for (int threads : {1, 2}) {
        expectError(
            [&] {
                lzx::decompressFile("bad.lzx", "out.bin", {lzx::Mode::lz, threads});
            },
            "");
    }
    fs::remove("bad.lzx");
    EXPECT_EQ(FileStackCount(), 0);
}

TEST_F(ApiTest, WriterNotClosedLeavesNoFile) {
    {
        lzx::Writer w("never.lzx");
        w.write("abc", 3);
    }
    EXPECT_FALSE(pathExists("never.lzx"));
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{});
}

TEST_F(ApiTest, StreamsAndFilesRoundTrip) {
    std::string data = sample(Sample::Text, 100000, 5);
    std::istringstream in(data);
    std::ostringstream packed;
    lzx::compress(in, packed);
    std::istringstream in2(packed.str());
    std::ostringstream back;
    lzx::decompress(in2, back, {lzx::Mode::lz, 2});
    EXPECT_EQ(back.str(), data);

    writeFile("x.bin", data);
    lzx::compressFile("x.bin", "x.lzx", {lzx::Mode::huffman, 2});
    EXPECT_EQ(lzx::info("x.lzx").mode, lzx::Mode::huffman);
    EXPECT_EQ(lzx::info("x.lzx").length, 100000);
    lzx::verify("x.lzx");
    lzx::decompressFile("x.lzx", "y.bin");
    EXPECT_EQ(readFile("y.bin"), data);

    // Whole files are written from runs of blocks and from gathered pieces:
    // several batches and a short last block, on any number of threads.
    std::string big = sample(Sample::Text, 80 * 16384 + 4321, 6);
    writeFile("big.bin", big);
    lzx::compressFile("big.bin", "big.lzx");
    for (int threads : {1, 2, 3}) {
        lzx::decompressFile("big.lzx", "back.bin", {lzx::Mode::lz, threads});
        EXPECT_TRUE(readFile("back.bin") == big) << threads << " threads";
    }
}

TEST_F(ApiTest, ArchivesFromCodeUnpackWithTheirFilters) {
    {
        lzx::ArchiveWriter a("a.lzx");
        lzx::Entry e;
        e.name = "#sub\\one.txt";
        e.version = 100;
        a.add(e, "first", 5);
        e.name = "#two.txt";
        e.version = 120;
        e.languages = 2;  // English only
        a.add(e, "second", 6);
        writeFile("three.src", "third file");
        e.name = "#three.txt";
        e.languages = 0;
        e.version = 101;
        a.addFile(e, "three.src");
        lzx::Entry low = e;
        low.version = 99;
        EXPECT_THROW(a.add(low, "x", 1), lzx::Error);
        a.close();
    }
    std::vector<lzx::Entry> entries = lzx::list("a.lzx");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].name, "#two.txt");
    EXPECT_EQ(entries[1].size, 6);
    EXPECT_EQ(entries[1].languages, 2);

    std::vector<lzx::Entry> installed(1);
    installed[0].name = "#THREE.TXT";
    installed[0].version = 200;  // newer: kept
    lzx::UnpackOptions o;
    o.target = "out";
    o.installed = &installed;
    int64_t lastDone = 0;
    o.progress = [&](int64_t done, int64_t) { lastDone = done; };
    lzx::unpack("a.lzx", o);
    EXPECT_EQ(readFile("out/sub/one.txt"), "first");
    EXPECT_FALSE(pathExists("out/two.txt"));    // language not accepted
    EXPECT_FALSE(pathExists("out/three.txt"));  // installed version is newer
    EXPECT_GT(lastDone, 0);
    ASSERT_EQ(installed.size(), 2u);
    EXPECT_EQ(installed[0].status, 3);
    EXPECT_EQ(installed[1].name, "#sub\\one.txt");
    EXPECT_EQ(installed[1].status, 1);

    lzx::writeInstalledList("lzx.ver", installed);
    EXPECT_EQ(fs::file_size("lzx.ver"), 2 * 432u);
    EXPECT_EQ(lzx::readInstalledList("lzx.ver")[1].name, "#sub\\one.txt");

    o.installed = nullptr;
    o.languages = 2;
    o.force = true;
    lzx::unpack("a.lzx", o);
    EXPECT_EQ(readFile("out/two.txt"), "second");
    EXPECT_EQ(readFile("out/three.txt"), "third file");

    // The same archive from a list file.
    writeFile("list.txt", "b.lzx\n.\\\n#three.src|V=101\n#three.txt\n");
    lzx::PackResult r = lzx::pack("list.txt");
    EXPECT_EQ(r.entries, 1);
    EXPECT_EQ(r.sourceBytes, 10);
    EXPECT_EQ(lzx::list("b.lzx")[0].version, 101);

    writeFile("list.txt", "c.lzx\n.\\\n#three.src|V=99\n#three.txt\n");
    EXPECT_THROW(lzx::pack("list.txt"), lzx::Error);
    EXPECT_FALSE(pathExists("c.lzx"));
}

}  // namespace

namespace {

// prefix, i, suffix (built by appending: GCC 12 warns wrongly on "x" + s).
std::string numbered(const char* prefix, int i, const char* suffix = "") {
    std::string s = prefix;
    s += std::to_string(i);
    s += suffix;
    return s;
}

// Archives of many batches: with threads the blocks are decoded ahead (and
// coded behind) while files are written (and read); the archive, the files
// and the failure of a damaged block must be those of one thread.
TEST_F(ApiTest, ArchiveThreadsChangeNeitherBytesNorWhereDamageStops) {
    std::string list = "one.lzx\n.\\\n";
    for (int i = 0; i < 12; ++i) {
        std::string name = numbered("f", i, ".txt");
        writeFile(name,
                  sample(i % 3 ? Sample::Text : Sample::Random, 50000, static_cast<unsigned>(i)));
        for (const char* part : {"#", name.c_str(), "|V=101\n#", name.c_str(), "\n"}) list += part;
    }
    writeFile("list.txt", list);
    lzx::pack("list.txt", {}, false, 1);
    std::string one = readFile("one.lzx");
    for (int threads : {2, 3}) {
        fs::remove("one.lzx");
        lzx::pack("list.txt", {}, false, threads);
        ASSERT_EQ(readFile("one.lzx"), one) << threads << " threads";
    }
    for (int threads : {1, 2, 3}) {
        lzx::UnpackOptions o;
        o.target = numbered("out", threads);
        o.threads = threads;
        lzx::unpack("one.lzx", o);
        for (int i = 0; i < 12; ++i) {
            std::string name = numbered("f", i, ".txt");
            EXPECT_EQ(readFile(o.target + "/" + name), readFile(name)) << threads << " threads";
        }
    }
    // Damage in block 25 of about 37, well past the first batches read ahead.
    std::string bad = one;
    int32_t indexOffset;
    std::memcpy(&indexOffset, bad.data() + 4, 4);
    int32_t start;
    std::memcpy(&start, bad.data() + indexOffset + 4 * 25, 4);
    for (int i = 8; i < 60; ++i) bad[static_cast<size_t>(start + i)] ^= 0x5A;
    writeFile("bad.lzx", bad);
    std::string message[2];
    std::vector<std::string> written[2];
    for (int k = 0; k < 2; ++k) {
        lzx::UnpackOptions o;
        o.target = numbered("bad", k);
        o.threads = k + 1;
        try {
            lzx::unpack("bad.lzx", o);
            message[k] = "no failure";
        } catch (const lzx::Error& e) {
            message[k] = e.what();
        }
        if (fs::exists(o.target)) written[k] = names(o.target);
    }
    EXPECT_NE(message[0], "no failure");
    EXPECT_EQ(message[1], message[0]);
    EXPECT_EQ(written[1], written[0]);
    EXPECT_GE(written[0].size(), 5u);  // the files before the damage are there
}

}  // namespace
