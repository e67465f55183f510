// Archive unpacking through lzx::unpack on any archive content: entry
// records and file data, written as an LZX1 file and unpacked into a scratch
// target directory beside a sentinel file, which must never change, and
// nothing may appear beside the target. Input: one byte of arguments (bit 0
// force, bits 1-4 the languages, bits 5-7 the product versions), one byte
// for the list of installed files (bit 0: given; bit 1: it holds "#a.txt"
// at version 99 + the upper bits), then the content.
//
// Every name is tried, ".." and absolute ones included: unpacking must
// refuse whatever would land outside the target. Plain names (without "#")
// would land in the current directory, which is the sentinel's.
// A refusal must leave nothing open and nothing allocated: leak checks stay on.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "lzx/api/archive.h"
#include "lzx/api/stream.h"
#include "lzx/lzx.h"

namespace {

constexpr std::string_view kSentinelText = "the sentinel: outside the target, never written";

struct Place {
    std::string dir, archive, target, sentinel;
};

const Place& place() {
    static const Place p = [] {
        Place q;
        q.dir = scratchDir() + "/unpack";
        q.archive = q.dir + "/in.lzx";
        q.target = q.dir + "/target";
        q.sentinel = q.dir + "/sentinel";
        if (mkdir(q.dir.c_str(), 0700) != 0) std::abort();
        writeWhole(q.sentinel, reinterpret_cast<const uint8_t*>(kSentinelText.data()),
                   kSentinelText.size());
        return q;
    }();
    return p;
}

std::string readAll(const std::string& path) {
    std::string out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int ch; (ch = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(ch));
        std::fclose(f);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t* content = data + 2;
    size_t length = size - 2;
    const Place& p = place();
    std::filesystem::create_directory(p.target);

    char previous[4096];
    if (getcwd(previous, sizeof previous) == nullptr || chdir(p.dir.c_str()) != 0) std::abort();
    // The content is what is fuzzed here, not its coding: the faster
    // Huffman-only coder.
    lzx::Writer w(p.archive, {lzx::Mode::huffman});
    w.write(content, length);
    w.close();
    std::vector<lzx::Entry> installed;
    if (data[1] & 2) {
        lzx::Entry known;
        known.name = "#a.txt";
        known.version = 99 + (data[1] >> 2);
        installed.push_back(known);
    }
    lzx::UnpackOptions o;
    o.target = p.target;
    o.force = (data[0] & 1) != 0;
    o.languages = (data[0] >> 1) & 15;
    o.productVersions = data[0] >> 5;
    if (data[1] & 1) o.installed = &installed;
    accepted([&] { lzx::unpack(p.archive, o); });
    if (FileStackCount() != 0) fuzzFail("a file stayed open");
    if (chdir(previous) != 0) std::abort();

    if (readAll(p.sentinel) != kSentinelText) fuzzFail("the sentinel outside the target changed");
    for (const auto& e : std::filesystem::directory_iterator(p.dir)) {
        std::string path = e.path().string();
        if (path != p.archive && path != p.target && path != p.sentinel)
            fuzzFail("unpacking wrote beside the target");
    }
    std::filesystem::remove_all(p.target);
    return 0;
}
