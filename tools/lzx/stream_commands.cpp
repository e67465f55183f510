// Stream commands of the lzx tool: compress, decompress, test, info.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <vector>

#include "commands.h"
#include "fileio/fileio.h"
#include "lzx/api/stream.h"

namespace {

const char kCompressUsage[] =
    "compress [--huffman | --rowsort] [--best] IN OUT [-T N]\n"
    "Writes IN as the LZX1 file OUT: LZ coding by default, Huffman-only coding\n"
    "with --huffman.\n"
    "--rowsort sorts the 64-byte rows of every block before LZ coding. It is\n"
    "meant for bitmaps: every 16384-byte block of IN must hold at least one\n"
    "64-byte row of 0xFF bytes (a short last block is padded so that it does).\n"
    "Any other data stops with \"SorPack: no empty rows\" and exit code 2.\n"
    "--best packs with a slower LZ packer that finds smaller files in the same\n"
    "format (for vendors; any LZX1 reader reads them). Not with --huffman.\n"
    "-T N codes blocks on N threads (default: one per core); the file is the\n"
    "same for every N.\n"
    "IN - reads stdin. OUT - writes stdout: the file is finished in a private\n"
    "temporary file (its block index comes last and its header is written\n"
    "last), which is then copied to stdout and removed.\n"
    "OUT is replaced only when it is complete; on a failure it stays as it was.";
const char kDecompressUsage[] =
    "decompress IN OUT [-T N]\n"
    "Writes the bytes of the LZX1 file IN to OUT, decoding blocks on N threads\n"
    "(default: one per core).\n"
    "IN - reads stdin (kept in a private temporary file, since reading needs\n"
    "the block index at the end); OUT - writes stdout.\n"
    "OUT is replaced only when the whole of IN has been decoded; on a failure\n"
    "it stays as it was.";
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
    explicit Progress(const char* verb) : verb_(verb), shown_(-1), on_(stderrIsTerminal()) {}
    void update(int64_t done, int64_t total) {
        if (!on_ || total <= (4 << 20)) return;
        int percent = static_cast<int>(100 * done / total);
        if (percent == shown_) return;
        shown_ = percent;
        std::fprintf(stderr, "\r%s: %3d%%", verb_, percent);
        std::fflush(stderr);
    }
    ~Progress() {
        if (on_ && shown_ >= 0) {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(std::strlen(verb_)) + 6, "");
        }
    }

  private:
    const char* verb_;
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

}  // namespace

int parseThreadsOption(int argc, char** argv, int& i, int& threads) {
    const char* a = argv[i];
    if (std::strncmp(a, "-T", 2) != 0) return 0;
    const char* n = a[2] ? a + 2 : (i + 1 < argc ? argv[++i] : "");
    char* end = nullptr;
    long t = std::strtol(n, &end, 10);
    if (*n == 0 || *end != 0 || t < 1 || t > 256) return -1;
    threads = static_cast<int>(t);
    return 1;
}

namespace {

// Parses [--huffman | --rowsort] [-T N] and the files; returns an exit code
// for a usage error, or -1 to go on.
int parseStreamArgs(const char* command, int argc, char** argv, bool modes, lzx::Options& o,
                    std::vector<const char*>& files) {
    bool modeSet = false;
    o.threads = 0;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (modes && (std::strcmp(a, "--huffman") == 0 || std::strcmp(a, "--rowsort") == 0)) {
            if (modeSet) return usageError(command, "--huffman and --rowsort exclude each other");
            modeSet = true;
            o.mode = a[2] == 'h' ? lzx::Mode::huffman : lzx::Mode::rowsort;
        } else if (modes && std::strcmp(a, "--best") == 0) {
            o.best = true;
        } else if (int t = parseThreadsOption(argc, argv, i, o.threads); t != 0) {
            if (t < 0) return usageError(command, "-T takes a thread count from 1 to 256");
        } else if (a[0] == '-' && a[1] != 0) {
            return usageError(command, "unknown option");
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return usageError(command, "needs IN and OUT");
    if (o.best && o.mode == lzx::Mode::huffman) {
        return usageError(command, "--best improves LZ coding; --huffman has none");
    }
    return -1;
}

bool isStdio(const char* name) {
    return std::strcmp(name, "-") == 0;
}

}  // namespace

int cmdCompress(int argc, char** argv) {
    if (showHelp(argc, argv, kCompressUsage)) return kExitOk;
    lzx::Options o;
    std::vector<const char*> files;
    int code = parseStreamArgs("compress", argc, argv, true, o, files);
    if (code >= 0) return code;
    if (!isStdio(files[0]) && !isStdio(files[1]) && sameFiles("compress", files[0], files[1])) {
        return kExitFailed;
    }
    bool toStdout = isStdio(files[1]);
    if (isStdio(files[0]) || toStdout) {
        useBinaryStdio();
        std::ifstream file;
        if (!isStdio(files[0])) {
            file.open(files[0], std::ios::binary);
            if (!file) return usageError("compress", "cannot open IN");
        }
        std::istream& in = isStdio(files[0]) ? std::cin : file;
        if (toStdout) {
            lzx::compress(in, std::cout, o);
            std::cout.flush();
        } else {
            lzx::compress(in, files[1], o);
        }
        return kExitOk;
    }
    Progress progress("compress");
    o.progress = [&](int64_t done, int64_t total) { progress.update(done, total); };
    lzx::compressFile(files[0], files[1], o);
    return kExitOk;
}

int cmdDecompress(int argc, char** argv) {
    if (showHelp(argc, argv, kDecompressUsage)) return kExitOk;
    lzx::Options o;
    std::vector<const char*> files;
    int code = parseStreamArgs("decompress", argc, argv, false, o, files);
    if (code >= 0) return code;
    if (!isStdio(files[0]) && !isStdio(files[1]) && sameFiles("decompress", files[0], files[1])) {
        return kExitFailed;
    }
    Progress progress("decompress");
    o.progress = [&](int64_t done, int64_t total) { progress.update(done, total); };
    if (isStdio(files[0])) {
        useBinaryStdio();
        if (isStdio(files[1])) {
            lzx::decompress(std::cin, std::cout, o);
            std::cout.flush();
        } else {
            lzx::decompress(std::cin, files[1], o);
        }
    } else if (isStdio(files[1])) {
        useBinaryStdio();
        lzx::Reader r(files[0], o);
        std::vector<char> buf(kPiece);
        while (size_t n = r.read(buf.data(), buf.size())) {
            std::cout.write(buf.data(), static_cast<std::streamsize>(n));
        }
        std::cout.flush();
        if (!std::cout) throw lzx::Error("decompress: cannot write the output");
        r.close();
    } else {
        lzx::decompressFile(files[0], files[1], o);
    }
    return kExitOk;
}

int cmdTest(int argc, char** argv) {
    if (showHelp(argc, argv, kTestUsage)) return kExitOk;
    if (argc < 1) return usageError("test", "needs at least one FILE");
    int bad = 0;
    for (int i = 0; i < argc; ++i) {
        // Each file on its own: a damaged one is reported and the next checked.
        try {
            lzx::verify(argv[i]);
            std::printf("%s: OK\n", argv[i]);
        } catch (const lzx::Error& e) {
            std::fflush(stdout);
            const char* text = e.what();
            while (*text == '\n') ++text;
            std::fprintf(stderr, "lzx test: %s: %s\n", argv[i], text);
            std::printf("%s: FAILED\n", argv[i]);
            ++bad;
        }
        std::fflush(stdout);
    }
    if (argc > 1) std::printf("%d of %d files OK\n", argc - bad, argc);
    return bad ? kExitFailed : kExitOk;
}

int cmdInfo(int argc, char** argv) {
    if (showHelp(argc, argv, kInfoUsage)) return kExitOk;
    if (argc != 1) return usageError("info", "needs one FILE");
    lzx::Info i = lzx::info(argv[0]);
    static const char* const kCoders[] = {"LZ", "Huffman-only", "row sort + LZ",
                                          "row sort + Huffman-only"};
    std::printf("file:         %s\n", argv[0]);
    std::printf("magic:        LZX1\n");
    std::printf("length:       %lld bytes\n", static_cast<long long>(i.length));
    std::printf("file size:    %lld bytes\n", static_cast<long long>(i.fileSize));
    std::printf("index offset: %lld\n", static_cast<long long>(i.indexOffset));
    std::printf("flags:        %u (%s)\n", i.flags, kCoders[i.flags & 3]);
    std::printf("blocks:       %lld\n", static_cast<long long>(i.blocks));
    if (i.length > 0) {
        std::printf("ratio:        %.1f%% of the original\n",
                    100.0 * static_cast<double>(i.fileSize) / static_cast<double>(i.length));
    }
    return kExitOk;
}
