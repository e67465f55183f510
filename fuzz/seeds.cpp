// Writes the seed corpora of the fuzz targets, fuzz/corpus/<target>/<seed>,
// from our own encoders: small blocks of the kinds the codecs treat
// differently. Run from the build: fuzz_seeds <corpus directory>.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/error.h"
#include "lzx/codec.h"
#include "lzx/lzx.h"
#include "lzx/rowsort.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string gRoot;

void writeSeed(const std::string& target, const std::string& name, const Bytes& data) {
    std::string dir = gRoot + "/" + target;
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

Bytes text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// A 16384-byte block: `head` followed by `fill`.
Bytes block(const Bytes& head, uint8_t fill) {
    Bytes b(kCodecBlock, fill);
    std::copy(head.begin(), head.begin() + std::min<size_t>(head.size(), b.size()), b.begin());
    return b;
}

// Rows of 64 bytes: the listed ones carry data, all others are 0xFF.
Bytes rowBlock(std::initializer_list<int> rows) {
    Bytes b(kCodecBlock, 0xFF);
    for (int r : rows)
        for (int j = 0; j < kSorRowBytes; ++j) b[r * kSorRowBytes + j] = uint8_t(r * 7 + j % 5);
    return b;
}

// An entropy-coded block in the decoders' input layout: fill bits, code bytes.
Bytes coded(const Bytes& bytes, bool huffman) {
    static Codec c;
    std::copy(bytes.begin(), bytes.end(), c.byteBuf);
    int32_t n = static_cast<int32_t>(bytes.size());
    int32_t bits = huffman ? HufPack(c, n) : LzxPack(c, n);
    Bytes out{uint8_t((8 - bits % 8) % 8)};
    out.insert(out.end(), c.bitBuf, c.bitBuf + (bits + 7) / 8);
    return out;
}

// A coded block with its first byte (the fill bits) replaced by `first`.
Bytes selected(uint8_t first, Bytes blk) {
    blk[0] = first;
    return blk;
}

Bytes rleCode(const Bytes& blk) {
    static Codec c;
    int32_t n = RlePack(c, blk.data());
    return Bytes(c.byteBuf, c.byteBuf + n);
}

// Row count, row list and the first 64 * k bytes of the sorted block.
Bytes sorted(const Bytes& blk) {
    static Codec c;
    static uint8_t dst[kCodecBlock];
    uint8_t rows[256];
    int32_t k = SorPack(c, blk.data(), dst, rows);
    Bytes out{uint8_t(k)};
    out.insert(out.end(), rows, rows + k);
    out.insert(out.end(), dst, dst + kSorRowBytes * k);
    return out;
}

// A whole LZX1 file of `bytes`, written by the stream in the given mode.
Bytes lzxFile(const char* mode, const Bytes& bytes) {
    const std::string path = gRoot + "/seed.lzx";
    HILE* h = Hopen(path.c_str(), mode);
    Hwrite(bytes.data(), static_cast<int32_t>(bytes.size()), h);
    Hclose(h);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    Bytes out;
    for (int ch; f != nullptr && (ch = std::fgetc(f)) != EOF;) out.push_back(uint8_t(ch));
    if (f != nullptr) std::fclose(f);
    std::remove(path.c_str());
    return out;
}

// Offsets of the record fields the archive seeds set.
constexpr size_t kVersion = 260, kScramble = 268, kDeleteAfter = 272, kExistingOnly = 276,
                 kLanguages = 280;

// Appends one 432-byte entry record (version 100 unless a field says
// otherwise) and its data to archive content.
void addEntry(Bytes& out, const char* name,
              std::initializer_list<std::pair<size_t, int32_t>> fields, const Bytes& data) {
    Bytes record(432, 0);
    std::memcpy(record.data(), name, std::strlen(name));
    auto set = [&](size_t at, int32_t v) {
        for (int i = 0; i < 4; ++i) record[at + i] = uint8_t(uint32_t(v) >> (8 * i));
    };
    set(256, static_cast<int32_t>(data.size()));
    set(kVersion, 100);
    for (auto [at, v] : fields) set(at, v);
    out.insert(out.end(), record.begin(), record.end());
    out.insert(out.end(), data.begin(), data.end());
}

// Seek offsets in front of a file, for the stream target.
Bytes withSeeks(std::initializer_list<uint32_t> offsets, const Bytes& file) {
    Bytes out{uint8_t(offsets.size())};
    for (uint32_t o : offsets)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(o >> (8 * i)));
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

Bytes with(uint8_t first, const Bytes& rest) {
    Bytes out{first};
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR\n");
        return 64;
    }
    gRoot = argv[1];
    mkdir(gRoot.c_str(), 0755);

    const Bytes prose = text(
        "Vorn deals the cards: trick, trump, hand and score. The trump of the hand "
        "wins the trick; the score of the deal counts the tricks of each hand.\n");
    const Bytes repeat = text("abcabcabcabc");
    const Bytes same(600, 'x');
    Bytes mixed;
    for (int i = 0; i < 300; ++i) mixed.push_back(uint8_t(i * i * 31 + i / 7));
    const Bytes escapes{0x80, 0x85, 0x85, 0x85, 0x8F, 0x81, 0x90, 0x00, 0x00, 0x00, 0x7F};

    struct Sample {
        const char* name;
        Bytes bytes;
    } samples[] = {{"prose", prose}, {"repeat", repeat},   {"same", same},
                   {"mixed", mixed}, {"escapes", escapes}, {"empty", {}}};
    for (const Sample& s : samples) {
        writeSeed("lzx_unpack_fuzz", s.name, coded(s.bytes, false));
        writeSeed("huf_unpack_fuzz", s.name, coded(s.bytes, true));
        // The length header opens every coded block; the first byte selects
        // the alphabet: 1 for the LZ coder's 400 symbols, 0 for 256.
        writeSeed("recv_lens_fuzz", std::string("lz-") + s.name,
                  selected(1, coded(s.bytes, false)));
        writeSeed("recv_lens_fuzz", std::string("huf-") + s.name,
                  selected(0, coded(s.bytes, true)));
        for (uint8_t flags = 0; flags < 4; ++flags) {
            if (s.bytes.empty() && flags != 0) continue;
            writeSeed("block_roundtrip_fuzz", std::string(s.name) + "-" + char('0' + flags),
                      with(flags, s.bytes));
        }
        writeSeed("rle_unpack_fuzz", s.name, rleCode(block(s.bytes, 0)));
    }
    const Bytes rows = rowBlock({1, 2, 5});
    const Bytes rowsHead(rows.begin(), rows.begin() + 6 * kSorRowBytes);
    writeSeed("block_roundtrip_fuzz", "rows-2", with(2, rowsHead));
    writeSeed("block_roundtrip_fuzz", "rows-3", with(3, rowsHead));
    writeSeed("rle_unpack_fuzz", "all-same", rleCode(Bytes(kCodecBlock, 7)));
    writeSeed("sor_unpack_fuzz", "three-rows", sorted(rowBlock({1, 2, 5})));
    writeSeed("sor_unpack_fuzz", "one-row", sorted(rowBlock({255})));
    writeSeed("sor_unpack_fuzz", "no-rows", sorted(rowBlock({})));

    // Streams: empty, one block in each mode, and two blocks (the second
    // mostly padding) so that a seek has a block to jump to.
    Bytes twoBlocks = rows;
    twoBlocks.insert(twoBlocks.end(), prose.begin(), prose.end());
    writeSeed("stream_fuzz", "empty", withSeeks({}, lzxFile("wb", {})));
    writeSeed("stream_fuzz", "lz", withSeeks({5, 0x80000000u}, lzxFile("wb", repeat)));
    writeSeed("stream_fuzz", "huffman", withSeeks({11}, lzxFile("wbh", prose)));
    writeSeed("stream_fuzz", "rowsort", withSeeks({64, 3}, lzxFile("wbs", rows)));
    writeSeed("stream_fuzz", "two-blocks", withSeeks({16390, 1, 16384}, lzxFile("wb", twoBlocks)));

    // Entry lines of list files over the sources the target provides: a.txt,
    // b.bin (two blocks) and e.txt (empty) in its base directory, c.txt
    // beside it for names with "#".
    writeSeed("listfile_fuzz", "one", text("a.txt|V=100\na.txt\n"));
    writeSeed("listfile_fuzz", "options",
              text("b.bin| v=101|L=dE|J=13|E=1|D=0|R=1\r\n#stored b\r\n\r\n#c.txt|V=200\nc\n"));
    writeSeed("listfile_fuzz", "bars", text("||a.txt||V=100|\nx\n"));
    writeSeed("listfile_fuzz", "empty-file", text("e.txt|V=100\ne\n"));
    writeSeed("listfile_fuzz", "no-entries", {});

    // Archive content: arguments byte, list capacity, then records and data.
    // List given (bit 0), holding "#a.txt" (bit 1) at version 99 + 1.
    Bytes archive{0x07, 0x03 | 1 << 2};
    addEntry(archive, "#a.txt", {}, text("hello"));
    addEntry(archive, "#sub\\b.txt", {{kLanguages, 1}, {kScramble, 1}}, mixed);
    addEntry(archive, "plain.txt", {{kDeleteAfter, 1}}, text("gone again"));
    addEntry(archive, "#a.txt", {{kVersion, 99}}, text("older"));
    addEntry(archive, "#only-if-there", {{kExistingOnly, 1}}, text("x"));
    writeSeed("archive_fuzz", "entries", archive);
    Bytes noList{0x00, 0};
    addEntry(noList, "#empty", {}, {});
    writeSeed("archive_fuzz", "no-list", noList);
    writeSeed("archive_fuzz", "nothing", {0x01, 0});
    // An entry that would land beside the target, on the sentinel: refused.
    Bytes escape{0x01, 0};
    addEntry(escape, "#..\\sentinel", {}, text("bad"));
    writeSeed("archive_fuzz", "name-escapes-target", escape);

    // Whole buffers: mode in bits 0-1, two threads with bit 2.
    writeSeed("buffer_roundtrip_fuzz", "empty", {0});
    writeSeed("buffer_roundtrip_fuzz", "prose-lz", with(0, prose));
    writeSeed("buffer_roundtrip_fuzz", "prose-huffman", with(1, prose));
    writeSeed("buffer_roundtrip_fuzz", "rows-rowsort", with(2, rowsHead));
    writeSeed("buffer_roundtrip_fuzz", "two-blocks-threads", with(4, twoBlocks));

    writeSeed("con_putchar_fuzz", "plain",
              with(0, text("\nSkip writing language [1, 0] [#a.txt]")));
    writeSeed("con_putchar_fuzz", "controls",
              with(0, text("abc\rxy\nab\b\b\t\a\x1b\x01\f\x80\xFF")));
    writeSeed("con_putchar_fuzz", "echo", with(1, Bytes(130, 'w')));
    return 0;
}
