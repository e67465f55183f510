// The list-file reader of lzx::pack: any entry lines after a fixed archive
// line and base directory, over a few source files in a scratch directory.
// What it packs must list back as exactly the entries and bytes it counted.
//
// The packer opens whatever a list names, so the harness keeps it inside
// the scratch directory: inputs with "/", "\" or ".." are not tried (they
// could name any file on the machine, a pipe among them). Packing runs with
// the scratch directory current, where the list's relative names point. A
// refusal must leave nothing open, allocated or half-written: leak checks
// stay on, and the archive must not exist after one.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "fileio/fileio.h"
#include "fuzz_support.h"
#include "lzx/api/archive.h"

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
    lzx::PackResult r{};
    if (accepted([&] { r = lzx::pack("list.lst"); })) {
        std::vector<lzx::Entry> entries;
        if (!accepted([&] { entries = lzx::list("out.lzx"); }))
            fuzzFail("a packed archive was refused");
        int64_t bytes = 0;
        for (const lzx::Entry& e : entries) bytes += e.size;
        if (static_cast<int64_t>(entries.size()) != r.entries || bytes != r.sourceBytes)
            fuzzFail("the archive differs from what packing reported");
    } else if (FileExists("out.lzx")) {
        fuzzFail("a refused list left its archive behind");
    }
    if (FileStackCount() != 0) fuzzFail("a file stayed open");
    if (chdir(previous) != 0) std::abort();
    clearRun(dir);
    return 0;
}
