#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

#include "base/error.h"
#include "lzx/blocks.h"
#include "lzx/codec.h"
#include "lzx/lzx.h"
#include "stream_support.h"
#include "support/tempdir.h"

using testing::ExitedWithCode;
using testing::HasSubstr;

namespace {

class StreamTest : public testing::Test {
  protected:
    void SetUp() override { FileStackClear(); }
    void TearDown() override {
        EXPECT_EQ(FileStackCount(), 0);
        FileCloseAll();
    }
    ScratchDir dir;
};

using StreamDeathTest = StreamTest;

TEST_F(StreamTest, EmptyStreamIsAHeaderOnly) {
    EXPECT_EQ(writeStream("e.lzx", "wb", ""), 16);
    std::string file = readFile("e.lzx");
    ASSERT_EQ(file.size(), 16u);
    EXPECT_EQ(file.substr(0, 4), "LZX1");
    EXPECT_EQ(le32(file, 4), 16);
    EXPECT_EQ(le32(file, 8), 0);
    EXPECT_EQ(le32(file, 12), 0);

    HILE* h = Hopen("e.lzx", "rb");
    EXPECT_EQ(Htell(h), 0);
    char c;
    EXPECT_EQ(Hread(&c, 1, h), 0);
    EXPECT_EQ(Heof(h), 1);
    EXPECT_EQ(Hgetc(h), -1);
    Hclose(h);
    // The index file is gone: only the container is left in the directory.
    auto entries = std::filesystem::directory_iterator(".");
    EXPECT_EQ(std::distance(entries, std::filesystem::directory_iterator{}), 1);
}

TEST_F(StreamTest, BlockCountsAndIndexAtBlockBoundaries) {
    std::string full = sample(Sample::Text, 16384, 1);
    int32_t size = writeStream("one.lzx", "wb", full);
    std::string file = readFile("one.lzx");
    EXPECT_EQ(size, static_cast<int32_t>(file.size()));
    EXPECT_EQ(le32(file, 8), 16384);
    EXPECT_EQ(le32(file, 4) + 4, size);  // one block, one index entry
    EXPECT_EQ(le32(file, le32(file, 4)), 16);
    EXPECT_EQ(readStream("one.lzx"), full);

    std::string more = full + "x";
    size = writeStream("two.lzx", "wb", more);
    file = readFile("two.lzx");
    int32_t index = le32(file, 4);
    EXPECT_EQ(index + 8, size);
    EXPECT_EQ(le32(file, index), 16);
    EXPECT_GT(le32(file, index + 4), 16);
    HILE* h = Hopen("two.lzx", "rb");
    std::string got(20000, 0);
    EXPECT_EQ(Hread(got.data(), 20000, h), 16385);  // more than remains
    EXPECT_EQ(Heof(h), 1);
    EXPECT_EQ(got.substr(0, 16385), more);
    EXPECT_EQ(Hread(got.data(), 10, h), 0);
    // The second block holds the byte and zeros; readers see only the byte.
    Hseek(h, 16384);
    EXPECT_EQ(Heof(h), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h->buffer), 3), std::string("x\0\0", 3));
    EXPECT_EQ(Hgetc(h), 'x');
    EXPECT_EQ(Hgetc(h), -1);
    EXPECT_EQ(Heof(h), 1);
    Hclose(h);
}

TEST_F(StreamTest, ReadingToTheEndOfWholeBlocksReadsNothingMore) {
    std::string data = sample(Sample::Text, 2 * 16384, 2);
    writeStream("w.lzx", "wb", data);
    HILE* h = Hopen("w.lzx", "rb");
    std::string got(data.size(), 0);
    EXPECT_EQ(Hread(got.data(), static_cast<int32_t>(got.size()), h), 2 * 16384);
    EXPECT_EQ(Heof(h), 0);
    int32_t filePos = DoFtell(h->file);
    EXPECT_EQ(Hread(got.data(), 1, h), 0);
    EXPECT_EQ(Heof(h), 1);
    EXPECT_EQ(DoFtell(h->file), filePos);
    EXPECT_EQ(Htell(h), 2 * 16384);
    Hclose(h);
}

TEST_F(StreamTest, SeekAndGetc) {
    std::string data = sample(Sample::Random, 50000, 3);
    writeStream("s.lzx", "wbh", data);
    HILE* h = Hopen("s.lzx", "rb");
    Hseek(h, 49999);
    EXPECT_EQ(Hgetc(h), static_cast<uint8_t>(data[49999]));
    EXPECT_EQ(Hgetc(h), -1);
    Hseek(h, 20000);
    EXPECT_EQ(Htell(h), 20000);
    // Inside the buffered block a seek touches no file.
    int32_t filePos = DoFtell(h->file);
    Hseek(h, 16384);
    Hseek(h, 32767);
    EXPECT_EQ(DoFtell(h->file), filePos);
    EXPECT_EQ(Hgetc(h), static_cast<uint8_t>(data[32767]));
    EXPECT_EQ(Hgetc(h), static_cast<uint8_t>(data[32768]));
    Hseek(h, 0);
    std::string got(100, 0);
    EXPECT_EQ(Hread(got.data(), 100, h), 100);
    EXPECT_EQ(got, data.substr(0, 100));
    Hclose(h);
}

// The container is read in large pieces and blocks are decoded ahead: a
// reader that jumps back and forth over many pieces and batches must see
// the bytes of the plain file at every offset, with any thread count.
TEST_F(StreamTest, JumpsAcrossReadPiecesAndBatchesReadTheRightBytes) {
    std::string data = sample(Sample::Random, 600000, 41) + sample(Sample::Text, 300000, 42);
    writeStream("big.lzx", "wb", data);
    std::mt19937 rng(43);
    for (int threads : {1, 2, 3}) {
        HILE* h = Hopen("big.lzx", "rb");
        HsetThreads(h, threads);
        std::string got(3000, 0);
        for (int i = 0; i < 60; ++i) {
            auto at = static_cast<int32_t>(rng() % (data.size() - got.size()));
            Hseek(h, at);
            ASSERT_EQ(Hread(got.data(), static_cast<int32_t>(got.size()), h), 3000);
            ASSERT_EQ(got, data.substr(static_cast<size_t>(at), got.size()))
                << threads << " threads, offset " << at;
        }
        // Then on to the end without a seek.
        std::string rest(data.size(), 0);
        Hseek(h, 0);
        ASSERT_EQ(Hread(rest.data(), static_cast<int32_t>(rest.size()), h),
                  static_cast<int32_t>(data.size()));
        EXPECT_TRUE(rest == data) << threads << " threads";
        Hclose(h);
    }
}

// With threads a stream reads and writes the pipe's slots in place: bytes
// put before HsetThreads, single bytes, odd pieces and a short padded last
// block must all land as with one thread.
TEST_F(StreamTest, ThreadedStreamsWriteAndReadTheSameBytesAsOneThread) {
    std::string data = sample(Sample::Rows, 40 * 16384 + 777, 44);
    for (const char* mode : {"wb", "wbs"}) {
        std::string one;
        for (int threads : {1, 2, 3}) {
            HILE* h = Hopen("t.lzx", mode);
            for (size_t i = 0; i < 100; ++i) Hputc(static_cast<uint8_t>(data[i]), h);
            HsetThreads(h, threads);
            for (size_t at = 100, piece = 1; at < data.size();
                 at += piece, piece = piece * 7 % 40000 + 1) {
                piece = std::min(piece, data.size() - at);
                Hwrite(data.data() + at, static_cast<int32_t>(piece), h);
            }
            Hclose(h);
            std::string file = readFile("t.lzx");
            if (threads == 1) one = file;
            ASSERT_TRUE(file == one) << mode << ", " << threads << " threads";

            HILE* r = Hopen("t.lzx", "rb");
            HsetThreads(r, threads);
            std::string back;
            for (int c; (c = Hgetc(r)) >= 0;) back.push_back(static_cast<char>(c));
            Hclose(r);
            EXPECT_TRUE(back == data) << mode << ", " << threads << " threads";
        }
    }
}

// Spans hand out the stream's bytes where they were decoded: the same bytes
// as Hread from any position, never more than asked for, and with threads a
// run of whole blocks at a time.
TEST_F(StreamTest, SpansHandOutTheBytesHreadWould) {
    std::string data = sample(Sample::Text, 70 * 16384 + 555, 45);
    writeStream("s.lzx", "wb", data);
    for (int threads : {1, 2, 3}) {
        HILE* h = Hopen("s.lzx", "rb", threads);
        std::string got(1000, 0);
        ASSERT_EQ(Hread(got.data(), 1000, h), 1000);
        const uint8_t* at = nullptr;
        int32_t longest = 0;
        int32_t most = 5000;
        for (int32_t n; (n = Hspan(h, most, &at)) > 0; most = most * 7 % 300000 + 1) {
            ASSERT_LE(n, most);
            got.append(reinterpret_cast<const char*>(at), static_cast<size_t>(n));
            longest = std::max(longest, n);
        }
        EXPECT_TRUE(got == data) << threads << " threads";
        EXPECT_EQ(Heof(h), 1);
        EXPECT_EQ(Hspan(h, 100, &at), 0);
        if (threads == 1) {
            EXPECT_LE(longest, kBlockSize);
        } else {
            EXPECT_GE(longest, 4 * kBlockSize) << threads << " threads";
        }
        // After a seek back, and asked for nothing.
        Hseek(h, 123457);
        EXPECT_EQ(Hspan(h, 0, &at), 0);
        int32_t n = Hspan(h, 1 << 20, &at);
        ASSERT_GT(n, 0);
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(at), static_cast<size_t>(n)) ==
                    data.substr(123457, static_cast<size_t>(n)));
        EXPECT_EQ(Htell(h), 123457 + n);
        Hclose(h);
    }
}

// A run of blocks stops before one that failed to decode: everything before
// it is handed out, and the failure comes when the stream reaches it.
TEST_F(StreamTest, SpansStopBeforeABlockThatFailed) {
    std::string data = sample(Sample::Text, 40 * 16384, 46);
    writeStream("s.lzx", "wb", data);
    std::string file = readFile("s.lzx");
    const int32_t index = le32(file, 4);
    const int32_t third = le32(file, static_cast<size_t>(index + 8));
    const int32_t fourth = le32(file, static_cast<size_t>(index + 12));
    for (int32_t i = third + 4; i < fourth; ++i) file[static_cast<size_t>(i)] = '\xFF';
    writeFile("bad.lzx", file);
    for (int threads : {1, 2}) {
        FatalThrowScope scope;
        const uint64_t mark = HileMark();
        HILE* h = Hopen("bad.lzx", "rb", threads);
        std::string got;
        const uint8_t* at = nullptr;
        std::string error;
        try {
            while (int32_t n = Hspan(h, 1 << 20, &at))
                got.append(reinterpret_cast<const char*>(at), static_cast<size_t>(n));
        } catch (const FatalError& e) {
            error = e.what();
        }
        EXPECT_FALSE(error.empty()) << threads << " threads";
        EXPECT_TRUE(got == data.substr(0, 2 * 16384)) << threads << " threads: " << got.size();
        HabandonSince(mark);
    }
}

TEST_F(StreamTest, ModeLettersAndHeaderFlags) {
    std::string data = sample(Sample::Rows, 40000, 4);
    writeStream("h.lzx", "wbhs", data);  // a fourth letter is not looked at
    EXPECT_EQ(le32(readFile("h.lzx"), 12), 1);
    writeStream("s.lzx", "wbs", data);
    EXPECT_EQ(le32(readFile("s.lzx"), 12), 2);
    writeStream("p.lzx", "wb", data);
    EXPECT_EQ(le32(readFile("p.lzx"), 12), 0);
    // On reading the header decides, whatever the third letter says.
    EXPECT_EQ(readStream("h.lzx", "rbs"), data);
    EXPECT_EQ(readStream("s.lzx", "rbh"), data);
    EXPECT_EQ(readStream("p.lzx", "rbs"), data);

    // Both flags at once: row sort and the Huffman-only coder.
    HILE* h = Hopen("b.lzx", "wb");
    h->header.flags = kFlagHuffman | kFlagRowSort;
    Hwrite(data.data(), static_cast<int32_t>(data.size()), h);
    Hclose(h);
    EXPECT_EQ(le32(readFile("b.lzx"), 12), 3);
    EXPECT_EQ(readStream("b.lzx"), data);
}

TEST_F(StreamTest, BlocksAndIndexLieBackToBack) {
    // Walks the blocks from offset 16 by their own fields (row count and row
    // list in row-sort streams, B, the code bytes) and checks every index
    // entry, the index offset and the file's end. 70 blocks make an index
    // longer than one 256-byte copy piece.
    std::string data = sample(Sample::Rows, 70 * 16384 - 5, 12);
    for (const char* mode : {"wb", "wbh", "wbs"}) {
        int32_t size = writeStream("l.lzx", mode, data);
        std::string file = readFile("l.lzx");
        ASSERT_EQ(size, static_cast<int32_t>(file.size())) << mode;
        const bool rowSort = mode[2] == 's';
        const int32_t index = le32(file, 4);
        int32_t at = 16;
        for (int32_t b = 0; b < 70; ++b) {
            ASSERT_EQ(le32(file, static_cast<size_t>(index + 4 * b)), at) << mode << " block " << b;
            if (rowSort) {
                int32_t k = static_cast<uint8_t>(file[static_cast<size_t>(at)]);
                EXPECT_EQ(k, 192) << "block " << b;  // every fourth row is empty
                at += 1 + k;
            }
            at += 4 + (le32(file, static_cast<size_t>(at)) + 7) / 8;
        }
        EXPECT_EQ(at, index) << mode;
        EXPECT_EQ(size, index + 4 * 70) << mode;
        EXPECT_EQ(readStream("l.lzx"), data) << mode;
    }
}

TEST_F(StreamDeathTest, StreamLengthStaysWithinInt32) {
    // The last possible block of a stream starts at 2^31 - 16384; poking the
    // base there stands in for writing two gigabytes.
    std::string piece(kBlockSize - 1, 'a');
    for (bool byteWise : {false, true}) {
        EXPECT_EXIT(
            {
                HILE* h = Hopen("big.lzx", "wb");
                h->base = INT32_MAX - (kBlockSize - 1);
                Hwrite(piece.data(), kBlockSize - 1, h);
                if (Htell(h) != INT32_MAX) std::exit(1);
                if (byteWise) Hputc('b', h);
                Hwrite("b", 1, h);
            },
            ExitedWithCode(2),
            HasSubstr(byteWise ? "Hputc: stream too long" : "Hwrite: stream too long"));
    }
}

TEST_F(StreamTest, SeekNearTheLargestLength) {
    // A stream of 2^31 - 1 bytes made of 131072 copies of one small block,
    // each named by its index entry: seeking to the last byte from a fresh
    // handle must go through the index without overflowing the offset
    // arithmetic.
    writeStream("one.lzx", "wb", "0123456789");
    const std::string one = readFile("one.lzx");
    const std::string block = one.substr(16, static_cast<size_t>(le32(one, 4)) - 16);
    std::string file = one.substr(0, 16);
    for (int b = 0; b < 131072; ++b) file += block;
    const int32_t index = static_cast<int32_t>(file.size());
    setLe32(file, 4, index);
    setLe32(file, 8, INT32_MAX);
    file.resize(file.size() + 4 * 131072);
    for (int b = 0; b < 131072; ++b) {
        setLe32(file, static_cast<size_t>(index) + 4 * b,
                16 + b * static_cast<int32_t>(block.size()));
    }
    writeFile("big.lzx", file);
    HILE* h = Hopen("big.lzx", "rb");
    Hseek(h, INT32_MAX - 1);
    EXPECT_EQ(Htell(h), INT32_MAX - 1);
    EXPECT_EQ(Hgetc(h), 0);  // the zero padding of the last block
    EXPECT_EQ(Hgetc(h), -1);
    Hseek(h, 131070 * 16384 + 3);  // the block before, through the index again
    EXPECT_EQ(Hgetc(h), '3');
    Hclose(h);
}

TEST_F(StreamTest, IncompressibleBlocksAreStoredLongerThanABlock) {
    std::string data = sample(Sample::Random, 16384, 5);
    for (const char* mode : {"wb", "wbh"}) {
        writeStream("r.lzx", mode, data);
        std::string file = readFile("r.lzx");
        EXPECT_GT(le32(file, 16), 8 * 16384) << mode;  // B of the only block
        EXPECT_EQ(readStream("r.lzx"), data) << mode;
    }
}

TEST_F(StreamTest, RoundTripsInEveryMode) {
    const size_t sizes[] = {0, 1, 16383, 16384, 16385, 100000};
    for (const char* mode : {"wb", "wbh", "wbs"}) {
        for (Sample kind : {Sample::Text, Sample::Random, Sample::Rows}) {
            if (mode[2] == 's' && kind != Sample::Rows) continue;
            for (size_t n : sizes) {
                std::string data = sample(kind, n, static_cast<unsigned>(n));
                writeStream("rt.lzx", mode, data, n % 3 + 4093);
                ASSERT_EQ(readStream("rt.lzx", "rb", 1 + static_cast<int32_t>(n % 9000)), data)
                    << mode << " kind " << static_cast<int>(kind) << " size " << n;
            }
        }
    }
}

TEST_F(StreamTest, RoundTripsSeveralMegabytesByteWise) {
    for (const char* mode : {"wb", "wbh", "wbs"}) {
        std::string data = sample(Sample::Rows, 3 << 20, 6);
        for (size_t i = 0; i < data.size(); i += 100000) data[i] = 'T';  // keep row 0 of blocks
        HILE* h = Hopen("big.lzx", mode);
        for (char c : data) Hputc(static_cast<uint8_t>(c), h);
        EXPECT_EQ(Htell(h), 3 << 20);
        Hclose(h);
        h = Hopen("big.lzx", "rb");
        std::string got;
        got.reserve(data.size());
        for (int32_t c; (c = Hgetc(h)) >= 0;) got.push_back(static_cast<char>(c));
        EXPECT_EQ(Heof(h), 1);
        Hclose(h);
        EXPECT_TRUE(got == data) << mode;
    }
}

TEST_F(StreamTest, TwoWritersAtOnceUseTheirOwnIndexFiles) {
    std::string a = sample(Sample::Text, 70000, 7), b = sample(Sample::Random, 50000, 8);
    HILE* ha = Hopen("a.lzx", "wb");
    HILE* hb = Hopen("b.lzx", "wbh");
    EXPECT_STRNE(ha->tempName, hb->tempName);
    EXPECT_EQ(std::string(ha->tempName).rfind(kTempPrefix, 0), 0u);  // beside the container
    for (size_t i = 0; i < 70000; i += 10000) {
        Hwrite(a.data() + i, 10000, ha);
        if (i < 50000) Hwrite(b.data() + i, 10000, hb);
    }
    Hclose(hb);
    Hclose(ha);
    EXPECT_EQ(readStream("a.lzx"), a);
    EXPECT_EQ(readStream("b.lzx"), b);
}

// Builds a damaged file from a valid one and expects `message` on reading.
void expectReadFails(const std::string& file, const std::string& message) {
    writeFile("bad.lzx", file);
    EXPECT_EXIT(readStream("bad.lzx"), ExitedWithCode(2), HasSubstr(message)) << message;
}

TEST_F(StreamDeathTest, HopenRefusals) {
    EXPECT_EXIT(Hopen("x", ""), ExitedWithCode(2), HasSubstr("Hopen: bad mode"));
    EXPECT_EXIT(Hopen("x", "w"), ExitedWithCode(2), HasSubstr("Hopen: bad mode"));
    EXPECT_EXIT(Hopen("x", "wa"), ExitedWithCode(2), HasSubstr("Hopen: bad mode"));
    EXPECT_EXIT(Hopen("x", "ab"), ExitedWithCode(2), HasSubstr("Hopen: bad mode"));
    EXPECT_EXIT(Hopen("x", "rbx"), ExitedWithCode(2), HasSubstr("Hopen: bad mode"));
    EXPECT_EXIT(Hopen(std::string(260, 'n').c_str(), "wb"), ExitedWithCode(2),
                HasSubstr("Hopen: filename too long"));
    writeFile("plain.txt", "LZX0 and some more bytes");
    EXPECT_EXIT(Hopen("plain.txt", "rb"), ExitedWithCode(2), HasSubstr("Hopen: not an LZX file"));
    writeFile("short.lzx", "LZX1");
    EXPECT_EXIT(Hopen("short.lzx", "rb"), ExitedWithCode(2),
                HasSubstr("LZX DoFread failed [short.lzx, 16]"));
    EXPECT_EXIT(Hopen("missing.lzx", "rb"), ExitedWithCode(2), HasSubstr("code = 209"));
}

TEST_F(StreamDeathTest, InvalidHandles) {
    HILE fake{};
    char c;
    for (HILE* h : {static_cast<HILE*>(nullptr), &fake}) {
        EXPECT_EXIT(Hclose(h), ExitedWithCode(2), HasSubstr("Hclose: not a valid HILE *"));
        EXPECT_EXIT(Hread(&c, 1, h), ExitedWithCode(2), HasSubstr("Hread: not a valid HILE *"));
        EXPECT_EXIT(Hwrite(&c, 1, h), ExitedWithCode(2), HasSubstr("Hwrite: not a valid HILE *"));
        EXPECT_EXIT(Hseek(h, 0), ExitedWithCode(2), HasSubstr("Hseek: not a valid HILE *"));
        EXPECT_EXIT(Htell(h), ExitedWithCode(2), HasSubstr("Htell: not a valid HILE *"));
    }
}

TEST_F(StreamDeathTest, MisuseOfHandles) {
    writeStream("d.lzx", "wb", "data");
    HILE* w = Hopen("w.lzx", "wb");
    EXPECT_EXIT(Hseek(w, 0), ExitedWithCode(2), HasSubstr("Hseek: not allowed on write-file"));
    EXPECT_EXIT(Hflus(w), ExitedWithCode(2), HasSubstr("Hflus: early"));
    EXPECT_EXIT(Hfill(w), ExitedWithCode(2), HasSubstr("Hfill: early"));
#ifndef _WIN32  // Windows does not remove a file that is open
    // The index file vanished behind the stream's back.
    EXPECT_EXIT(
        {
            HILE* v = Hopen("v.lzx", "wb");
            std::remove(v->tempName);
            Hclose(v);
        },
        ExitedWithCode(2), HasSubstr("Hclose: remove failed"));
#endif
    Hclose(w);
    HILE* r = Hopen("d.lzx", "rb");
    EXPECT_EXIT(Hseek(r, 4), ExitedWithCode(2), HasSubstr("Hseek: >= EOF causes deep shit"));
    EXPECT_EXIT(Hseek(r, -1), ExitedWithCode(2), HasSubstr("Hseek: negative offset"));
    EXPECT_EXIT(Hwrite("x", 1, r), ExitedWithCode(2),
                HasSubstr("Hwrite: not allowed on read-file"));
    Hclose(r);
}

TEST_F(StreamDeathTest, WritersReplaceTheTargetOnlyWhenComplete) {
    // Long names work up to the file layer's limit, and the index file lies
    // beside the container, not in the working directory.
    std::string sub = std::string(120, 's');
    PathMakeDirs(sub.c_str());
    const std::string name = sub + "\\" + std::string(130, 'n');  // 251 characters
    const std::string native = sub + "/" + std::string(130, 'n');
    writeFile(native, "old");
    HILE* h = Hopen(name.c_str(), "wb");
    EXPECT_EQ(std::string(h->tempName).rfind(sub + "\\" + kTempPrefix, 0), 0u);
    std::string data = sample(Sample::Text, 40000, 3);
    Hwrite(data.data(), static_cast<int32_t>(data.size()), h);
    EXPECT_EQ(readFile(native), "old");  // untouched until the close
    Hclose(h);
    EXPECT_EQ(readStream(name), data);
    auto count = [](const std::string& dir) {  // entries, without a shell (Windows has none)
        auto entries = std::filesystem::directory_iterator(dir);
        return std::distance(entries, std::filesystem::directory_iterator{});
    };
    EXPECT_EQ(count(sub), 1);

    // A writer that fails leaves the old file and nothing else behind.
    writeFile("keep.lzx", "old");
    EXPECT_EXIT(writeStream("keep.lzx", "wbs", std::string(20000, 'a')), ExitedWithCode(2),
                HasSubstr("SorPack: no empty rows"));
    EXPECT_EQ(readFile("keep.lzx"), "old");
    EXPECT_EQ(count("."), 2);
}

TEST_F(StreamTest, RowSortPadsAShortLastBlockWithFFOnlyWhenItLacksAnEmptyRow) {
    // Zero padding would leave the last block without an empty row.
    std::string data = sample(Sample::Rows, 16385, 1);
    writeStream("s.lzx", "wbs", data);
    EXPECT_EQ(readStream("s.lzx"), data);
    HILE* r = Hopen("s.lzx", "rb");
    Hseek(r, 16384);
    EXPECT_EQ(r->buffer[1], 0xFF);
    EXPECT_EQ(r->buffer[kBlockSize - 1], 0xFF);
    Hclose(r);

    // With an empty row among the data the padding stays zero.
    std::string withRow = std::string(64, '\xFF') + "x";
    writeStream("t.lzx", "wbs", withRow);
    r = Hopen("t.lzx", "rb");
    Hseek(r, 0);
    EXPECT_EQ(r->buffer[64], 'x');
    EXPECT_EQ(r->buffer[65], 0);
    EXPECT_EQ(r->buffer[kBlockSize - 1], 0);
    Hclose(r);
}

TEST_F(StreamDeathTest, RowSortNeedsAnEmptyRowInEveryFullBlock) {
    EXPECT_EXIT(writeStream("s.lzx", "wbs", std::string(20000, 'a')), ExitedWithCode(2),
                HasSubstr("SorPack: no empty rows"));
}

TEST_F(StreamDeathTest, FileWrappers) {
    FileRec rec;
    EXPECT_EXIT(DoFopen("f.bin", "ab", rec), ExitedWithCode(2),
                HasSubstr("LZX DoFopen [f.bin] [ab] failed"));
    DoFopen("f.bin", "W+B", rec);  // modes are compared without regard to case
    DoFwrite("abc", 3, rec);
    EXPECT_EQ(DoFtell(rec), 3);
    DoFseek(rec, 1);
    char two[2];
    DoFread(two, 2, rec);
    EXPECT_EQ(std::string(two, 2), "bc");
    EXPECT_EXIT(DoFread(two, 1, rec), ExitedWithCode(2),
                HasSubstr("LZX DoFread failed [f.bin, 1]"));
    EXPECT_EXIT(DoFwrite(two, -1, rec), ExitedWithCode(2), HasSubstr("LZX DoFwrite failed"));
    DoFclose(rec);
}

TEST_F(StreamDeathTest, DamagedContainers) {
    std::string data = sample(Sample::Text, 40000, 9);
    writeStream("good.lzx", "wb", data);
    const std::string good = readFile("good.lzx");
    const int32_t index = le32(good, 4);

    expectReadFails(good.substr(0, good.size() - 2), "Hopen: bad header");
    expectReadFails(good.substr(0, 40), "Hopen: bad header");
    std::string f = good;
    setLe32(f, 8, -5);
    expectReadFails(f, "Hopen: bad header");
    f = good;
    setLe32(f, 12, 4);
    expectReadFails(f, "Hopen: bad header");
    f = good;
    setLe32(f, 4, 8);
    expectReadFails(f, "Hopen: bad header");

    // B too large for the bit buffer, negative, or reaching into the index.
    for (int32_t bits : {8 * 32768 + 1, -8, 0x7FFFFFFF, 8 * (index - 20) + 1}) {
        f = good;
        setLe32(f, 16, bits);
        expectReadFails(f, "Hopen: damaged file, bad block size [bad.lzx]");
    }

    // The length promises a fourth block that no index entry's block holds:
    // the extra index entry points at the index itself.
    f = good;
    setLe32(f, 8, 3 * 16384 + 1);
    f += f.substr(static_cast<size_t>(index + 8), 4);
    writeFile("bad.lzx", f);
    EXPECT_EXIT(readStream("bad.lzx"), ExitedWithCode(2), HasSubstr("Hopen: damaged file"));

    // Anything after the index, or between the last block and the index.
    expectReadFails(good + "x",
                    "Hopen: damaged file, file does not end right after the block index");
    f = good;
    f.insert(static_cast<size_t>(index), 4, '\0');
    setLe32(f, 4, index + 4);
    expectReadFails(f, "Hopen: damaged file, bytes between the last block and the block index");

    // Index entries outside 16..index offset, or naming another block.
    for (int32_t start : {0, 15, index, -1, le32(good, static_cast<size_t>(index + 8))}) {
        f = good;
        setLe32(f, static_cast<size_t>(index + 4), start);
        writeFile("bad.lzx", f);
        EXPECT_EXIT(Hopen("bad.lzx", "rb"), ExitedWithCode(2),
                    HasSubstr("Hopen: damaged file, block index does not match the blocks"));
    }

    // A block cut off in the middle: the index still lies beyond the cut.
    f = good;
    setLe32(f, 4, static_cast<int32_t>(f.size()) + 100);
    expectReadFails(f, "Hopen: bad header");
    f = good.substr(0, 30);
    f.resize(good.size(), 0);  // zeros: a block of B = 0 bits
    expectReadFails(f, "");
}

TEST_F(StreamDeathTest, AWalkSharedAmongThreadsFindsWhatOneWalkFinds) {
    // 600 blocks: two threads walk 300 each, three 200 each. Whatever the
    // split, a damaged file gives the message of a walk from the start.
    const std::string data = sample(Sample::Rows, 600 * 16384, 4);
    writeStream("good.lzx", "wbs", data, 1 << 20);
    const std::string good = readFile("good.lzx");
    const int32_t index = le32(good, 4);
    auto start = [&](int b) { return le32(good, static_cast<size_t>(index + 4 * b)); };
    auto expectFails = [&](const std::string& file, const char* message) {
        writeFile("bad.lzx", file);
        for (int threads : {1, 2, 3}) {
            EXPECT_EXIT(Hopen("bad.lzx", "rb", threads), ExitedWithCode(2), HasSubstr(message))
                << threads << " threads: " << message;
        }
    };
    for (int threads : {2, 3}) EXPECT_EQ(readStream("good.lzx", "rb", 65536, threads), data);

    // Four bytes between two blocks that the index steps over, at the seam of
    // two threads' parts and inside one: each part alone is sound.
    for (int gap : {200, 300, 450}) {
        std::string f = good;
        f.insert(static_cast<size_t>(start(gap)), 4, '\0');
        setLe32(f, 4, index + 4);
        for (int b = gap; b < 600; b++)
            setLe32(f, static_cast<size_t>(index + 4 + 4 * b), start(b) + 4);
        expectFails(f, "Hopen: damaged file, block index does not match the blocks");
    }
    // A part's first index entry naming another block, a place before the
    // blocks, or the index itself.
    for (int32_t wrong : {start(301), -1, 3, index}) {
        std::string f = good;
        setLe32(f, static_cast<size_t>(index + 4 * 300), wrong);
        expectFails(f, "Hopen: damaged file, block index does not match the blocks");
    }
    // A block too long in the first part (which then cannot meet the next)
    // and in the last, and bytes after the last block.
    for (int b : {100, 599}) {
        std::string f = good;
        setLe32(f, static_cast<size_t>(start(b) + 1 + static_cast<uint8_t>(good[start(b)])),
                8 * (index - start(b)));
        expectFails(f, "Hopen: damaged file, bad block size");
    }
    std::string f = good;
    f.insert(static_cast<size_t>(index), 4, '\0');
    setLe32(f, 4, index + 4);
    expectFails(f, "Hopen: damaged file, bytes between the last block and the block index");
}

}  // namespace
