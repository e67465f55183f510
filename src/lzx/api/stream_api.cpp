// Streams and whole files through the library interface.
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <ostream>
#include <vector>

#include "lzx/api/guard.h"
#include "lzx/api/stream.h"
#include "lzx/blocks.h"

#ifndef LZX_VERSION
#define LZX_VERSION "0.0.0"
#endif

namespace lzx {

namespace {

constexpr size_t kPiece = 1 << 16;

// Counts the core takes are 32-bit.
int32_t piece(size_t size) {
    return static_cast<int32_t>(size < kPiece ? size : kPiece);
}

}  // namespace

const char* version() {
    return LZX_VERSION;
}

namespace detail {

TempFile::TempFile() {
    std::string dir = std::filesystem::temp_directory_path().string();
    guarded([&] {
        FileRec f;
        FileCreateBeside(f, 1, (dir + "/lzx").c_str());
        path_ = f.name;
        FileClose(f);
    });
}

TempFile::~TempFile() {
    std::remove(path_.c_str());
}

}  // namespace detail

using detail::guarded;

struct Writer::State {
    detail::OwnedHile stream;
};

Writer::Writer(const std::string& path, const Options& options) : s_(new State) {
    s_->stream.h = guarded([&] {
        HILE* h =
            Hopen(path.c_str(), detail::writeMode(options.mode), detail::threadCount(options));
        h->packBest = options.best ? 1 : 0;
        return h;
    });
}
Writer::~Writer() = default;
Writer::Writer(Writer&&) noexcept = default;
Writer& Writer::operator=(Writer&&) noexcept = default;

void Writer::write(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    s_->stream.use([&](HILE* h) {
        for (size_t at = 0; at < size; at += kPiece) Hwrite(p + at, piece(size - at), h);
    });
}

int64_t Writer::close() {
    int64_t size = s_->stream.use([](HILE* h) { return Hclose(h); });
    s_->stream.h = nullptr;
    return size;
}

struct Reader::State {
    detail::OwnedHile stream;
};

Reader::Reader(const std::string& path, const Options& options) : s_(new State) {
    s_->stream.h = guarded([&] { return Hopen(path.c_str(), "rb", detail::threadCount(options)); });
}
Reader::~Reader() = default;
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;

size_t Reader::read(void* data, size_t size) {
    uint8_t* p = static_cast<uint8_t*>(data);
    return s_->stream.use([&](HILE* h) {
        size_t done = 0;
        while (done < size) {
            int32_t n = Hread(p + done, piece(size - done), h);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    });
}

void Reader::seek(int64_t offset) {
    // Out of 32 bits: still the core's own refusal of the offset.
    int32_t at = offset < 0 ? -1 : offset > INT32_MAX ? INT32_MAX : static_cast<int32_t>(offset);
    s_->stream.use([&](HILE* h) { Hseek(h, at); });
}

int64_t Reader::tell() const {
    return s_->stream.use([](HILE* h) { return static_cast<int64_t>(Htell(h)); });
}

int64_t Reader::size() const {
    return s_->stream.use([](HILE* h) {
        if (h == nullptr) fatalError("Hread: not a valid HILE *");
        return static_cast<int64_t>(h->header.length);
    });
}

Mode Reader::mode() const {
    return s_->stream.use([](HILE* h) {
        if (h == nullptr) fatalError("Hread: not a valid HILE *");
        return detail::modeOf(h->header.flags);
    });
}

void Reader::close() {
    s_->stream.use([](HILE* h) { Hclose(h); });
    s_->stream.h = nullptr;
}

namespace {

void report(const Options& o, int64_t done, int64_t total) {
    if (o.progress) o.progress(done, total);
}

// Copies a whole LZX1 file to a C++ stream.
void copyOut(const std::string& name, std::ostream& out, const char* what) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) throw Error(std::string(what) + ": cannot read the temporary file");
    std::vector<char> buf(kPiece);
    while (size_t n = std::fread(buf.data(), 1, buf.size(), f)) {
        out.write(buf.data(), static_cast<std::streamsize>(n));
    }
    std::fclose(f);
    if (!out) throw Error(std::string(what) + ": cannot write the output");
}

// Copies a C++ stream to a file.
void copyIn(std::istream& in, const std::string& name, const char* what) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) throw Error(std::string(what) + ": cannot write the temporary file");
    std::vector<char> buf(kPiece);
    bool ok = true;
    while (in && ok) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        size_t n = static_cast<size_t>(in.gcount());
        ok = std::fwrite(buf.data(), 1, n, f) == n;
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw Error(std::string(what) + ": cannot write the temporary file");
    if (in.bad()) throw Error(std::string(what) + ": cannot read the input");
}

}  // namespace

void compressFile(const std::string& in, const std::string& out, const Options& options) {
    std::vector<char> buf(kPiece);
    Writer w(out, options);
    guarded([&] {
        FileRec f;
        FileInit(f, 1, in.c_str());
        int64_t total = FileSize(f);
        int64_t done = 0;
        FileOpenRead(f);
        while (int32_t n = FileRead(f, static_cast<int32_t>(kPiece), buf.data())) {
            w.write(buf.data(), static_cast<size_t>(n));
            report(options, done += n, total);
        }
        FileClose(f);
    });
    w.close();
}

void decompressFile(const std::string& in, const std::string& out, const Options& options) {
    detail::OwnedHile r;
    r.use([&](HILE*) {
        r.h = Hopen(in.c_str(), "rb", detail::threadCount(options));
        FileRec f;
        FileCreateBeside(f, 1, out.c_str());
        // Runs of blocks are written from where they were decoded; short
        // pieces are gathered first, as a write costs more than its copy.
        const auto gather = static_cast<int32_t>(kPiece);
        std::vector<uint8_t> buf(kPiece);
        int32_t held = 0;  // bytes gathered in buf
        int64_t done = 0;
        const uint8_t* at = nullptr;
        while (int32_t n = Hspan(r.h, 1 << 20, &at)) {
            if (held > 0 && held + n > gather) {
                FileWrite(f, held, buf.data());
                held = 0;
            }
            if (n >= gather) {
                FileWrite(f, n, at);
            } else {
                std::memcpy(buf.data() + held, at, static_cast<size_t>(n));
                held += n;
            }
            report(options, done += n, r.h->header.length);
        }
        if (held > 0) FileWrite(f, held, buf.data());
        FileCommit(f, out.c_str());
        Hclose(r.h);
        r.h = nullptr;
    });
}

void compress(std::istream& in, const std::string& out, const Options& options) {
    Writer w(out, options);
    std::vector<char> buf(kPiece);
    int64_t done = 0;
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        if (in.gcount() <= 0) continue;
        w.write(buf.data(), static_cast<size_t>(in.gcount()));
        report(options, done += in.gcount(), 0);
    }
    if (in.bad()) throw Error("compress: cannot read the input");
    w.close();
}

void compress(std::istream& in, std::ostream& out, const Options& options) {
    detail::TempFile temp;
    compress(in, temp.path(), options);
    copyOut(temp.path(), out, "compress");
}

void decompress(std::istream& in, const std::string& out, const Options& options) {
    detail::TempFile temp;
    copyIn(in, temp.path(), "decompress");
    decompressFile(temp.path(), out, options);
}

void decompress(std::istream& in, std::ostream& out, const Options& options) {
    detail::TempFile temp;
    copyIn(in, temp.path(), "decompress");
    Reader r(temp.path(), options);
    std::vector<char> buf(kPiece);
    int64_t done = 0;
    while (size_t n = r.read(buf.data(), buf.size())) {
        out.write(buf.data(), static_cast<std::streamsize>(n));
        if (!out) throw Error("decompress: cannot write the output");
        report(options, done += static_cast<int64_t>(n), r.size());
    }
    r.close();
}

Info info(const std::string& path) {
    detail::OwnedHile r;
    return r.use([&](HILE*) {
        r.h = Hopen(path.c_str(), "rb");
        const HileHeader& hd = r.h->header;
        Info i{};
        i.length = hd.length;
        i.fileSize = FileSize(r.h->file);
        i.indexOffset = hd.indexOffset;
        i.flags = hd.flags;
        i.blocks = (i.length + kBlockSize - 1) / kBlockSize;
        i.mode = detail::modeOf(hd.flags);
        Hclose(r.h);
        r.h = nullptr;
        return i;
    });
}

void verify(const std::string& path) {
    detail::OwnedHile r;
    const char* problem = r.use([&](HILE*) -> const char* {
        r.h = Hopen(path.c_str(), "rb");
        HILE* h = r.h;
        // A read of one block's worth from a block boundary decodes exactly
        // one block, so the file position before it is where the block
        // starts; seeking readers go through the index, which must agree.
        std::vector<int32_t> starts;
        std::vector<char> buf(kBlockSize);
        for (;;) {
            int32_t start = HfileTell(h);
            if (Hread(buf.data(), kBlockSize, h) <= 0) break;
            starts.push_back(start);
        }
        const HileHeader& hd = h->header;
        int32_t blocks = static_cast<int32_t>(starts.size());
        if (HfileTell(h) != hd.indexOffset) {
            return "bytes between the last block and the block index";
        }
        if (FileSize(h->file) != hd.indexOffset + 4 * blocks) {
            return "file does not end right after the block index";
        }
        std::vector<uint8_t> index(4 * starts.size());
        HfileRead(h, index.data(), 4 * blocks);
        for (size_t b = 0; b < starts.size(); ++b) {
            const uint8_t* p = &index[4 * b];
            uint32_t entry = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
            if (static_cast<int32_t>(entry) != starts[b]) {
                return "block index does not match the blocks";
            }
        }
        Hclose(h);
        r.h = nullptr;
        return nullptr;
    });
    if (problem) throw Error(problem);
}

}  // namespace lzx
