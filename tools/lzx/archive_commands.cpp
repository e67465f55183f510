// Archive commands of the lzx tool: pack a list file, list an archive's
// entries, unpack an archive. Library failures (lzx::Error) end the command
// with exit code 2 and the library's message.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "lzx/api/archive.h"

namespace {

constexpr int64_t kProgressStep = 1 << 20;  // progress line every MB
constexpr size_t kNameMax = 260;            // the longest name the library takes, with its NUL

const char kPackHelp[] =
    "usage: lzx pack [--best] [-T N] LISTFILE\n"
    "Builds the archive that LISTFILE describes and prints the number of entries,\n"
    "the source bytes, the archive bytes and the ratio.\n"
    "--best packs with a slower LZ packer that finds a smaller archive in the\n"
    "same format (the installer reads it as any other).\n"
    "-T N codes blocks on N threads while the files are read (default: one per\n"
    "core); the archive is the same for every N.\n";
const char kListHelp[] =
    "usage: lzx list ARCHIVE\n"
    "Prints one line per entry: stored name, size, V=version and every option\n"
    "that is set (E=, D=, R=, L=, J=) in the list file's notation.\n";
const char kUnpackHelp[] =
    "usage: lzx unpack ARCHIVE [TARGET] [options]\n"
    "Unpacks ARCHIVE; names that begin with \"#\" go below TARGET (default: the\n"
    "current directory). Options:\n"
    "  --force                write files that exist already, or whose installed\n"
    "                         version equals the archive's\n"
    "  --languages LETTERS    accepted languages, of d e f g (default: none)\n"
    "  --versions DIGITS      accepted product versions, of 1 2 3 (default: none)\n"
    "  --installed VERSIONFILE  list of installed files (\"lzx.ver\" records), read\n"
    "                         and written back\n"
    "  --unsafe-paths         allow entries that land outside TARGET, also\n"
    "                         through links inside it\n"
    "  -T N                   decode blocks ahead on N threads while files are\n"
    "                         written (default: one per core)\n"
    "Entries with a language or version condition are skipped unless the\n"
    "matching option accepts them. Without --unsafe-paths the whole archive is\n"
    "refused, nothing written, when any entry would land outside TARGET or pass\n"
    "through a link inside it. Each file is written beside its name and renamed\n"
    "over it when complete, so an existing file or link is replaced, never\n"
    "written through.\n";

int usageError(const char* help, const char* problem, const char* what) {
    std::fprintf(stderr, "lzx: %s%s\n%s", problem, what, help);
    return kExitUsage;
}

bool isHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

// Progress on stderr, only for a terminal and only once a run gets long.
class ArchiveProgress {
  public:
    lzx::Progress hook() {
        if (!stderrIsTerminal()) return {};
        return [this](int64_t done, int64_t total) { show(done, total); };
    }
    ~ArchiveProgress() {
        if (shown_) std::fprintf(stderr, "\r%30s\r", "");
    }

  private:
    void show(int64_t done, int64_t total) {
        if (done < next_) return;
        next_ = done + kProgressStep;
        shown_ = true;
        if (total > 0) {
            std::fprintf(stderr, "\r%5.1f%% of %.1f MB ",
                         100.0 * static_cast<double>(done) / static_cast<double>(total),
                         static_cast<double>(total) / 1e6);
        } else {
            std::fprintf(stderr, "\r%.1f MB ", static_cast<double>(done) / 1e6);
        }
        std::fflush(stderr);
    }
    int64_t next_ = kProgressStep;
    bool shown_ = false;
};

// A mask of the bits named by characters of `symbols`; -1 for another character.
int32_t maskOf(const char* text, const char* symbols) {
    int32_t bits = 0;
    for (; *text != 0; ++text) {
        const char* at = std::strchr(symbols, std::tolower(static_cast<unsigned char>(*text)));
        if (at == nullptr) return -1;
        bits |= 1 << (at - symbols);
    }
    return bits;
}

std::string letters(int32_t bits, const char* symbols) {
    std::string out;
    int n = static_cast<int>(std::strlen(symbols));
    for (int i = 0; i < n; ++i) {
        if (bits & (1 << i)) out += symbols[i];
    }
    // Bits that no character names still show, so nothing set goes unseen.
    int32_t rest = bits & ~((1 << n) - 1);
    if (rest != 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "+0x%X", static_cast<unsigned>(rest));
        out += hex;
    }
    return out;
}

// Walks an archive's entry records without unpacking data. Returns an empty
// string when the archive is whole, else what is wrong with it; a file that
// is no archive at all throws lzx::Error.
template <typename Visit>
std::string walkEntries(const char* archive, Visit visit, int threads = 0) {
    try {
        lzx::list(
            archive, [&](const lzx::Entry& e) { visit(e, e.name.c_str()); }, threads);
    } catch (const lzx::Error& e) {
        std::string what = e.what();
        if (what.find("the archive ends") == 0 || what.find("entry [") == 0) return what;
        throw;
    }
    return "";
}

struct UnpackArgs {
    const char* archive = nullptr;
    const char* target = nullptr;
    const char* installed = nullptr;
    int32_t force = 0;
    int32_t languages = 0;
    int32_t versions = 0;
    bool unsafePaths = false;
    int threads = 0;  // one per core
};

// Fills args from the command line; returns an exit code, or -1 to go on.
int parseUnpack(int argc, char** argv, UnpackArgs& a) {
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (isHelp(arg)) {
            std::fputs(kUnpackHelp, stdout);
            return kExitOk;
        } else if (std::strcmp(arg, "--force") == 0) {
            a.force = 1;
        } else if (std::strcmp(arg, "--unsafe-paths") == 0) {
            a.unsafePaths = true;
        } else if (std::strcmp(arg, "--languages") == 0 && hasValue) {
            a.languages = maskOf(argv[++i], "defg");
            if (a.languages < 0) return usageError(kUnpackHelp, "languages are d e f g: ", argv[i]);
        } else if (std::strcmp(arg, "--versions") == 0 && hasValue) {
            a.versions = maskOf(argv[++i], "123");
            if (a.versions < 0) return usageError(kUnpackHelp, "versions are 1 2 3: ", argv[i]);
        } else if (std::strcmp(arg, "--installed") == 0 && hasValue) {
            a.installed = argv[++i];
        } else if (int t = parseThreadsOption(argc, argv, i, a.threads); t != 0) {
            if (t < 0) return usageError(kUnpackHelp, "-T takes a thread count from 1 to 256", "");
        } else if (arg[0] == '-' && arg[1] != 0) {
            return usageError(kUnpackHelp, "unknown option or missing value: ", arg);
        } else if (a.archive == nullptr) {
            a.archive = arg;
        } else if (a.target == nullptr) {
            a.target = arg;
        } else {
            return usageError(kUnpackHelp, "too many arguments: ", arg);
        }
    }
    if (a.archive == nullptr) return usageError(kUnpackHelp, "no archive given", "");
    return -1;
}

// The installer's version file: the counts of what this run did, then the
// records without their status, as the installer keeps them.
void writeVersionFile(const char* name, std::vector<lzx::Entry>& table) {
    int counts[4] = {};
    for (lzx::Entry& r : table) {
        if (r.status >= 1 && r.status <= 3) ++counts[r.status];
        r.status = 0;
    }
    lzx::writeInstalledList(name, table);
    std::printf("installed files: %d added, %d replaced, %d kept, %zu listed\n", counts[1],
                counts[2], counts[3], table.size());
}

}  // namespace

int lzxPackCommand(int argc, char** argv) {
    if (argc == 1 && isHelp(argv[0])) {
        std::fputs(kPackHelp, stdout);
        return kExitOk;
    }
    bool best = false;
    int threads = 0;  // one per core
    const char* listFile = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--best") == 0) {
            best = true;
        } else if (int t = parseThreadsOption(argc, argv, i, threads); t != 0) {
            if (t < 0) return usageError(kPackHelp, "-T takes a thread count from 1 to 256", "");
        } else if (argv[i][0] == '-' && argv[i][1] != 0) {
            return usageError(kPackHelp, "unknown option: ", argv[i]);
        } else if (listFile != nullptr) {
            return usageError(kPackHelp, "pack takes one list file", "");
        } else {
            listFile = argv[i];
        }
    }
    if (listFile == nullptr) return usageError(kPackHelp, "pack takes one list file", "");
    if (std::strlen(listFile) >= kNameMax) return usageError(kPackHelp, "name too long", "");
    lzx::PackResult r;
    {
        ArchiveProgress progress;
        r = lzx::pack(listFile, progress.hook(), best, threads);
    }
    std::printf("%d entries, %lld source bytes, %lld archive bytes", r.entries,
                static_cast<long long>(r.sourceBytes), static_cast<long long>(r.archiveBytes));
    if (r.sourceBytes > 0) {
        std::printf(", ratio %.1f%%", 100.0 * static_cast<double>(r.archiveBytes) /
                                          static_cast<double>(r.sourceBytes));
    }
    std::printf("\n");
    return kExitOk;
}

int lzxListCommand(int argc, char** argv) {
    if (argc == 1 && isHelp(argv[0])) {
        std::fputs(kListHelp, stdout);
        return kExitOk;
    }
    if (argc != 1) return usageError(kListHelp, "list takes one archive", "");
    std::string fault = walkEntries(argv[0], [](const lzx::Entry& e, const char* name) {
        std::printf("%s\t%d\tV=%d", name, e.size, e.version);
        if (e.scramble != 0) std::printf("\tE=%d", e.scramble);
        if (e.deleteAfter != 0) std::printf("\tD=%d", e.deleteAfter);
        if (e.existingOnly != 0) std::printf("\tR=%d", e.existingOnly);
        if (e.languages != 0) std::printf("\tL=%s", letters(e.languages, "defg").c_str());
        if (e.productVersions != 0) {
            std::printf("\tJ=%s", letters(e.productVersions, "123").c_str());
        }
        std::printf("\n");
    });
    if (!fault.empty()) {
        std::fprintf(stderr, "lzx list: %s: %s\n", argv[0], fault.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int lzxUnpackCommand(int argc, char** argv) {
    UnpackArgs a;
    int code = parseUnpack(argc, argv, a);
    if (code >= 0) return code;
    const char* target = a.target ? a.target : ".";

    // Everything is checked before the first file is written, with the
    // check that UnPackLZX applies again to each entry as it writes it.
    std::string refusal;
    std::string fault = walkEntries(
        a.archive,
        [&](const lzx::Entry& e, const char* name) {
            if (!refusal.empty()) return;
            std::string why = lzx::targetProblem(e, target, a.unsafePaths);
            if (!why.empty()) {
                refusal = std::string("entry [") + name + "] " + why;
                if (!a.unsafePaths && why.find("target path too long") == std::string::npos) {
                    refusal += std::string(" ") + target + " (--unsafe-paths allows it)";
                }
            }
        },
        a.threads);
    if (refusal.empty()) refusal = fault;
    if (!refusal.empty()) {
        std::fprintf(stderr, "lzx unpack: %s: %s; nothing written\n", a.archive, refusal.c_str());
        return kExitFailed;
    }

    std::vector<lzx::Entry> table;
    if (a.installed) table = lzx::readInstalledList(a.installed);
    lzx::UnpackOptions o;
    o.target = target;
    o.force = a.force != 0;
    o.languages = a.languages;
    o.productVersions = a.versions;
    o.installed = a.installed ? &table : nullptr;
    o.unsafePaths = a.unsafePaths;
    o.threads = a.threads;
    {
        ArchiveProgress progress;
        o.progress = progress.hook();
        lzx::unpack(a.archive, o);
    }
    if (a.installed) writeVersionFile(a.installed, table);
    return kExitOk;
}
