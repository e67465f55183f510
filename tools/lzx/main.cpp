// lzx: compress, decompress, test and inspect LZX1 files from the command
// line. Commands are listed in one table; adding one is one line here.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "fileio/fileio.h"
#include "lzx/api/error.h"

namespace {

const Command kCommands[] = {
    {"compress", cmdCompress,
     "compress [--huffman | --rowsort] IN OUT [-T N]   write an LZX1 file"
     " (--rowsort: bitmaps only, see compress --help; - for stdin/stdout)"},
    {"decompress", cmdDecompress,
     "decompress IN OUT [-T N]   write the bytes of an LZX1 file (- for stdin/stdout)"},
    {"test", cmdTest, "test FILE...   decode every block of each file, report per file"},
    {"info", cmdInfo, "info FILE   header fields, block count and ratio"},
    {"pack", lzxPackCommand, "pack LISTFILE   build the archive a list file describes"},
    {"list", lzxListCommand, "list ARCHIVE   show an archive's entries"},
    {"unpack", lzxUnpackCommand, "unpack ARCHIVE [TARGET] [options]   unpack an archive"},
};

void printToolHelp(FILE* out) {
    std::fprintf(out,
                 "usage: lzx COMMAND [ARGS...]\n       lzx COMMAND --help\n       lzx --version\n\n"
                 "commands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.summary);
    std::fprintf(out,
                 "\nexit codes: 0 success, 2 failure (the library's message on stderr),"
                 " 64 usage error\n");
}

}  // namespace

int main(int argc, char** argv) {
    FileStackClear();
    if (argc < 2) {
        printToolHelp(stderr);
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printToolHelp(stdout);
        return kExitOk;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("lzx %s\n", lzx::version());
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) != 0) continue;
        try {
            return c.run(argc - 2, argv + 2);
        } catch (const lzx::Error& e) {
            // What the library's fatal report printed when it ended the tool.
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", e.what());
            return kExitFailed;
        }
    }
    std::fprintf(stderr, "lzx: unknown command '%s'\n\n", argv[1]);
    printToolHelp(stderr);
    return kExitUsage;
}
