// Stream commands of the lzx tool: compress, decompress, test, info.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "commands.h"
#include "fileio/fileio.h"
#include "lzx/lzx.h"

namespace {

const char kCompressUsage[] =
    "compress [--huffman | --rowsort] IN OUT\n"
    "Writes IN as the LZX1 file OUT: LZ coding by default, Huffman-only coding\n"
    "with --huffman.\n"
    "--rowsort sorts the 64-byte rows of every block before LZ coding. It is\n"
    "meant for bitmaps: every 16384-byte block of IN must hold at least one\n"
    "64-byte row of 0xFF bytes (a short last block is padded so that it does).\n"
    "Any other data stops with \"SorPack: no empty rows\" and exit code 2.\n"
    "OUT is replaced only when it is complete; on a failure it stays as it was.";
const char kDecompressUsage[] =
    "decompress IN OUT\n"
    "Writes the bytes of the LZX1 file IN to OUT. OUT is replaced only when the\n"
    "whole of IN has been decoded; on a failure it stays as it was.";
const char kTestUsage[] =
    "test FILE...\n"
    "Decodes every block of each LZX1 file, checks its block index against the\n"
    "blocks, and reports OK or the failure per file; exits 0 only when all\n"
    "files are good.";
const char kInfoUsage[] =
    "info FILE\n"
    "Shows the header of the LZX1 file FILE, its block count and ratio.";

constexpr int32_t kPiece = 1 << 16;

// Shows "verb: n%" on a terminal, at most once per percent.
class Progress {
  public:
    Progress(const char* verb, int64_t total)
        : verb_(verb), total_(total), shown_(-1), on_(stderrIsTerminal() && total > (4 << 20)) {}
    void update(int64_t done) {
        if (!on_) return;
        int percent = static_cast<int>(100 * done / total_);
        if (percent == shown_) return;
        shown_ = percent;
        std::fprintf(stderr, "\r%s: %3d%%", verb_, percent);
        std::fflush(stderr);
    }
    ~Progress() {
        if (on_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(std::strlen(verb_)) + 6, "");
    }

  private:
    const char* verb_;
    int64_t total_;
    int shown_;
    bool on_;
};

// Writing OUT over IN would replace the input by its own transformation.
bool sameFiles(const char* command, const char* in, const char* out) {
    if (!FileSame(in, out)) return false;
    std::fprintf(stderr, "lzx %s: %s and %s are the same file; nothing written\n", command, in,
                 out);
    return true;
}

int usageError(const char* command, const char* problem) {
    std::fprintf(stderr, "lzx %s: %s (see lzx %s --help)\n", command, problem, command);
    return kExitUsage;
}

// True when the arguments ask for help; the usage is then shown.
bool showHelp(int argc, char** argv, const char* usage) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: lzx %s\n", usage);
            return true;
        }
    }
    return false;
}

// Decodes every block. Opening the file has already compared the block index
// with the blocks and the file's end with the index.
void decodeAll(HILE* h) {
    std::vector<char> buf(kPiece);
    while (Hread(buf.data(), kPiece, h) > 0) {
    }
}

int checkOne(const char* name) {
    HILE* h = Hopen(name, "rb");
    decodeAll(h);
    Hclose(h);
    return kExitOk;
}

}  // namespace

int cmdCompress(int argc, char** argv) {
    if (showHelp(argc, argv, kCompressUsage)) return kExitOk;
    const char* mode = "wb";
    std::vector<const char*> files;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--huffman") == 0 || std::strcmp(a, "--rowsort") == 0) {
            if (std::strcmp(mode, "wb") != 0) {
                return usageError("compress", "--huffman and --rowsort exclude each other");
            }
            mode = a[2] == 'h' ? "wbh" : "wbs";
        } else if (a[0] == '-' && a[1] != 0) {
            return usageError("compress", "unknown option");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return usageError("compress", "needs IN and OUT");
    if (sameFiles("compress", files[0], files[1])) return kExitFailed;
    FileRec in;
    FileInit(in, 1, files[0]);
    int32_t total = FileSize(in);
    FileOpenRead(in);
    HILE* h = Hopen(files[1], mode);
    std::vector<char> buf(kPiece);
    Progress progress("compress", total);
    int64_t done = 0;
    while (int32_t n = FileRead(in, kPiece, buf.data())) {
        Hwrite(buf.data(), n, h);
        progress.update(done += n);
    }
    FileClose(in);
    Hclose(h);
    return kExitOk;
}

int cmdDecompress(int argc, char** argv) {
    if (showHelp(argc, argv, kDecompressUsage)) return kExitOk;
    if (argc != 2) return usageError("decompress", "needs IN and OUT");
    if (sameFiles("decompress", argv[0], argv[1])) return kExitFailed;
    HILE* h = Hopen(argv[0], "rb");
    // OUT is replaced only by the whole output: a damaged block met on the
    // way leaves it as it was.
    FileRec out;
    FileCreateBeside(out, 1, argv[1]);
    std::vector<char> buf(kPiece);
    Progress progress("decompress", h->header.length);
    int64_t done = 0;
    while (int32_t n = Hread(buf.data(), kPiece, h)) {
        FileWrite(out, n, buf.data());
        progress.update(done += n);
    }
    Hclose(h);
    FileCommit(out, argv[1]);
    return kExitOk;
}

int cmdTest(int argc, char** argv) {
    if (showHelp(argc, argv, kTestUsage)) return kExitOk;
    if (argc < 1) return usageError("test", "needs at least one FILE");
    int bad = 0;
    for (int i = 0; i < argc; ++i) {
        int code = runIsolated(checkOne, argv[i]);
        if (code == kExitOk) {
            std::printf("%s: OK\n", argv[i]);
        } else if (code < 0) {
            std::printf("%s: FAILED (crashed)\n", argv[i]);
        } else {
            std::printf("%s: FAILED (exit code %d)\n", argv[i], code);
        }
        std::fflush(stdout);
        bad += code != kExitOk;
    }
    if (argc > 1) std::printf("%d of %d files OK\n", argc - bad, argc);
    return bad ? kExitFailed : kExitOk;
}

int cmdInfo(int argc, char** argv) {
    if (showHelp(argc, argv, kInfoUsage)) return kExitOk;
    if (argc != 1) return usageError("info", "needs one FILE");
    HILE* h = Hopen(argv[0], "rb");
    const HileHeader& hd = h->header;
    int32_t size = FileSize(h->file);
    int32_t blocks =
        static_cast<int32_t>((static_cast<int64_t>(hd.length) + kBlockSize - 1) / kBlockSize);
    static const char* const kCoders[] = {"LZ", "Huffman-only", "row sort + LZ",
                                          "row sort + Huffman-only"};
    std::printf("file:         %s\n", argv[0]);
    std::printf("magic:        LZX1\n");
    std::printf("length:       %d bytes\n", hd.length);
    std::printf("file size:    %d bytes\n", size);
    std::printf("index offset: %d\n", hd.indexOffset);
    std::printf("flags:        %u (%s)\n", hd.flags, kCoders[hd.flags & 3]);
    std::printf("blocks:       %d\n", blocks);
    if (hd.length > 0) {
        std::printf("ratio:        %.1f%% of the original\n", 100.0 * size / hd.length);
    }
    Hclose(h);
    return kExitOk;
}
