// Writes and reads LZX1 files and archives through the installed library:
// a buffer round trip, a file written in pieces and read back with a seek,
// an archive built from code, listed and unpacked, and a damaged file that
// comes back as an error. Prints what it did; exit code 0 when all held.
#include <lzx/api/archive.h>
#include <lzx/api/buffer.h>
#include <lzx/api/stream.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%-46s %s\n", what, ok ? "ok" : "FAILED");
    failures += ok ? 0 : 1;
}

std::string slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "lzx_example";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
    std::printf("lzx library %s in %s\n", lzx::version(), dir.string().c_str());

    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 977) + " of the example\n";

    std::vector<uint8_t> packed = lzx::compress(text.data(), text.size(), {lzx::Mode::lz, 0});
    std::vector<uint8_t> back = lzx::decompress(packed);
    check(std::string(back.begin(), back.end()) == text, "buffer round trip");
    check(packed.size() < text.size() / 4, "buffer is smaller");

    {
        lzx::Writer w("text.lzx", {lzx::Mode::huffman, 2});
        for (size_t at = 0; at < text.size(); at += 1000) {
            w.write(text.data() + at, std::min<size_t>(1000, text.size() - at));
        }
        w.close();
    }
    lzx::Reader r("text.lzx");
    r.seek(123456);
    char piece[10];
    r.read(piece, sizeof piece);
    check(r.mode() == lzx::Mode::huffman && std::memcmp(piece, text.data() + 123456, 10) == 0,
          "file written in pieces, read after a seek");
    r.close();

    {
        lzx::ArchiveWriter a("files.lzx");
        lzx::Entry e;
        e.name = "#docs\\readme.txt";
        e.version = 100;
        a.add(e, text.data(), 5000);
        e.name = "#dutch.txt";
        e.languages = 1;  // d
        a.add(e, "hallo", 5);
        a.close();
    }
    std::vector<lzx::Entry> entries = lzx::list("files.lzx");
    check(entries.size() == 2 && entries[0].size == 5000, "archive lists its entries");
    lzx::UnpackOptions o;
    o.target = "out";
    o.languages = 2;  // English only: the Dutch file is skipped
    lzx::unpack("files.lzx", o);
    check(slurp("out/docs/readme.txt") == text.substr(0, 5000) && !fs::exists("out/dutch.txt"),
          "archive unpacks with its language filter");

    std::vector<uint8_t> bad = packed;
    bad[0] = 'X';
    try {
        lzx::decompress(bad);
        check(false, "damaged file is refused");
    } catch (const lzx::Error& e) {
        check(std::strcmp(e.what(), "Hopen: not an LZX file") == 0, "damaged file is refused");
    }
    fs::current_path(dir.parent_path());
    fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
