// Archive commands of the lzx tool: pack a list file, list an archive's
// entries, unpack an archive. Library failures end the tool with exit code 2
// through the library's own fatal report.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "fileio/fileio.h"
#include "lzx/archive.h"
#include "lzx/lzx.h"

namespace {

constexpr int64_t kProgressStep = 1 << 20;  // progress line every MB

const char kPackHelp[] =
    "usage: lzx pack LISTFILE\n"
    "Builds the archive that LISTFILE describes and prints the number of entries,\n"
    "the source bytes, the archive bytes and the ratio.\n";
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
int64_t gNextReport = kProgressStep;
bool gProgressShown = false;

void showProgress(int64_t done, int64_t total) {
    if (done < gNextReport) return;
    gNextReport = done + kProgressStep;
    gProgressShown = true;
    if (total > 0) {
        std::fprintf(stderr, "\r%5.1f%% of %.1f MB ", 100.0 * static_cast<double>(done) / total,
                     static_cast<double>(total) / 1e6);
    } else {
        std::fprintf(stderr, "\r%.1f MB ", static_cast<double>(done) / 1e6);
    }
    std::fflush(stderr);
}

void startProgress() {
    gNextReport = kProgressStep;
    gProgressShown = false;
    if (stderrIsTerminal()) ArchiveSetProgress(showProgress);
}

void endProgress() {
    ArchiveSetProgress(nullptr);
    if (gProgressShown) std::fprintf(stderr, "\r%30s\r", "");
}

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

// Walks an archive's entry records in the order unpacking reads them,
// decoding every block on the way, so a damaged block shows here and not
// halfway through an unpack. Returns an empty string when the archive is
// whole, else what is wrong with it.
template <typename Visit>
std::string walkEntries(const char* archive, Visit visit) {
    HILE* h = Hopen(archive, "rb");
    const int32_t length = h->header.length;
    std::string fault;
    std::vector<char> skip(1 << 16);
    for (;;) {
        LzxEntry e;
        int32_t got = Hread(&e, sizeof e, h);
        if (got == 0) break;
        if (got != static_cast<int32_t>(sizeof e)) {
            fault = "the archive ends inside an entry record";
            break;
        }
        char name[sizeof e.name + 1];
        std::memcpy(name, e.name, sizeof e.name);
        name[sizeof e.name] = 0;
        int64_t next = static_cast<int64_t>(Htell(h)) + e.size;
        if (e.size < 0 || next > length) {
            fault = std::string("entry [") + name + "] has more data than the archive holds";
            break;
        }
        visit(e, name);
        for (int32_t left = e.size; left > 0;) {
            int32_t piece =
                left < static_cast<int32_t>(skip.size()) ? left : static_cast<int32_t>(skip.size());
            int32_t got = Hread(skip.data(), piece, h);
            if (got == 0) break;  // cannot happen: the size was checked against the length
            left -= got;
        }
    }
    Hclose(h);
    return fault;
}

struct UnpackArgs {
    const char* archive = nullptr;
    const char* target = nullptr;
    const char* installed = nullptr;
    int32_t force = 0;
    int32_t languages = 0;
    int32_t versions = 0;
    bool unsafePaths = false;
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

// The installer's version file: whole 432-byte records, with room for 1000
// more entries than it holds.
std::vector<LzxEntry> readVersionFile(const char* name) {
    int32_t count = 0;
    FileRec f;
    FileInit(f, sizeof(LzxEntry), name);
    if (FileExists(name)) count = FileSize(f);
    std::vector<LzxEntry> table(static_cast<size_t>(count) + 1000);
    std::memset(table.data(), 0, table.size() * sizeof(LzxEntry));
    if (count > 0) {
        FileOpenRead(f);
        FileRead(f, count, table.data());
        FileClose(f);
    }
    return table;
}

void writeVersionFile(const char* name, std::vector<LzxEntry>& table) {
    int counts[4] = {};
    int32_t used = 0;
    for (; used < static_cast<int32_t>(table.size()) && table[used].name[0] != 0; ++used) {
        LzxEntry& r = table[used];
        if (r.status >= 1 && r.status <= 3) ++counts[r.status];
        r.status = 0;
    }
    // Written beside the old list and renamed over it: a full disk leaves the
    // old list whole, never a part of the new one.
    FileRec f;
    FileCreateBeside(f, sizeof(LzxEntry), name);
    FileWrite(f, used, table.data());
    FileCommit(f, name);
    std::printf("installed files: %d added, %d replaced, %d kept, %d listed\n", counts[1],
                counts[2], counts[3], used);
}

}  // namespace

int lzxPackCommand(int argc, char** argv) {
    if (argc == 1 && isHelp(argv[0])) {
        std::fputs(kPackHelp, stdout);
        return kExitOk;
    }
    if (argc != 1) return usageError(kPackHelp, "pack takes one list file", "");
    if (std::strlen(argv[0]) >= kFileNameMax) return usageError(kPackHelp, "name too long", "");
    int32_t total = 0;
    int32_t packed = 0;
    startProgress();
    int32_t entries = PackLZX(argv[0], &total, &packed, nullptr, 0);
    endProgress();
    std::printf("%d entries, %d source bytes, %d archive bytes", entries, total, packed);
    if (total > 0) std::printf(", ratio %.1f%%", 100.0 * packed / total);
    std::printf("\n");
    return kExitOk;
}

int lzxListCommand(int argc, char** argv) {
    if (argc == 1 && isHelp(argv[0])) {
        std::fputs(kListHelp, stdout);
        return kExitOk;
    }
    if (argc != 1) return usageError(kListHelp, "list takes one archive", "");
    std::string fault = walkEntries(argv[0], [](const LzxEntry& e, const char* name) {
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
    const uint32_t options = a.unsafePaths ? kUnpackUnsafePaths : 0;

    // Everything is checked before the first file is written, with the
    // check that UnPackLZX applies again to each entry as it writes it.
    std::string refusal;
    std::string fault = walkEntries(a.archive, [&](const LzxEntry& e, const char* name) {
        if (!refusal.empty()) return;
        char path[kFileNameMax];
        if (const char* why = ArchiveTargetPath(e, target, options, path)) {
            refusal = std::string("entry [") + name + "] " + why;
            if (!a.unsafePaths && std::strstr(why, "target path too long") == nullptr) {
                refusal += std::string(" ") + target + " (--unsafe-paths allows it)";
            }
        }
    });
    if (refusal.empty()) refusal = fault;
    if (!refusal.empty()) {
        std::fprintf(stderr, "lzx unpack: %s: %s; nothing written\n", a.archive, refusal.c_str());
        return kExitFailed;
    }

    std::vector<LzxEntry> table;
    if (a.installed) table = readVersionFile(a.installed);
    startProgress();
    UnPackLZX(a.archive, target, table.empty() ? nullptr : table.data(),
              static_cast<int32_t>(table.size()), a.force, a.languages, a.versions, options);
    endProgress();
    if (a.installed) writeVersionFile(a.installed, table);
    return kExitOk;
}
