// The list-file reader of PackLZX: any entry lines after a fixed archive
// line and base directory, over a few source files in a scratch directory.
// What it packs must read back as exactly the entries and bytes it counted.
//
// The packer opens whatever a list names, so the harness keeps it inside
// the scratch directory: inputs with "/", "\" or ".." are not tried (they
// could name any file on the machine, a pipe among them). PackLZX runs with
// the scratch directory current, where its index file goes; a refusal
// leaves the archive's records behind, so leak checks are off.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "lzx/lzx.h"

extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

namespace {

const std::string& packDir() {
    static const std::string dir = [] {
        std::string d = scratchDir() + "/pack";
        std::string src = d + "/src";
        if (mkdir(d.c_str(), 0700) != 0 || mkdir(src.c_str(), 0700) != 0) std::abort();
        const uint8_t hello[] = "hello, hello!";
        writeWhole(src + "/a.txt", hello, sizeof hello - 1);
        static uint8_t bytes[20000];
        for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<uint8_t>(i * i >> 5);
        writeWhole(src + "/b.bin", bytes, sizeof bytes);
        writeWhole(src + "/e.txt", bytes, 0);
        writeWhole(d + "/c.txt", hello, 5);
        return d;
    }();
    return dir;
}

// Removes what a run leaves in the pack directory: the archive, its index
// files (kept after a refusal) and the list.
void clearRun(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string_view name = e->d_name;
            if (name == "out.lzx" || name == "list.lst" ||
                (name.substr(0, 2) == "lx" && name.ends_with(".idx")))
                unlink((dir + "/" + e->d_name).c_str());
        }
        closedir(d);
    }
}

// Walks the archive: its entry count and the sum of its sizes.
void readBack(int32_t& entries, int64_t& total) {
    HILE* h = Hopen("out.lzx", "rb");
    LzxEntry e;
    static uint8_t data[1 << 16];
    while (Hread(&e, sizeof e, h) == static_cast<int32_t>(sizeof e)) {
        ++entries;
        total += e.size;
        for (int32_t left = e.size; left > 0;) {
            int32_t n = Hread(data, left < int32_t{sizeof data} ? left : int32_t{sizeof data}, h);
            if (n == 0) fuzzFail("an entry's data is cut short");
            left -= n;
        }
    }
    Hclose(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.find_first_of("/\\") != text.npos || text.find("..") != text.npos) return 0;
    const std::string& dir = packDir();
    std::string list = "out.lzx\nsrc\\\n";
    list.append(text);
    writeWhole(dir + "/list.lst", reinterpret_cast<const uint8_t*>(list.data()), list.size());

    char previous[4096];
    if (getcwd(previous, sizeof previous) == nullptr || chdir(dir.c_str()) != 0) std::abort();
    int32_t entries = -1, total = -1, packed = -1;
    if (accepted([&] { entries = PackLZX("list.lst", &total, &packed, nullptr, 0); })) {
        int32_t found = 0;
        int64_t bytes = 0;
        if (!accepted([&] { readBack(found, bytes); })) fuzzFail("a packed archive was refused");
        if (found != entries || bytes != total) fuzzFail("the archive differs from the count");
    } else {
        FileCloseAll();
    }
    if (chdir(previous) != 0) std::abort();
    clearRun(dir);
    return 0;
}
