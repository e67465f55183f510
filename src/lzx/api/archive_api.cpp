// Archives through the library interface: listing, unpacking with its
// filters, packing from a list file or from entries given in code, and the
// installed-files list.
#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <vector>

#include "lzx/api/archive.h"
#include "lzx/api/guard.h"
#include "lzx/api/stream.h"
#include "lzx/archive.h"

namespace lzx {

using detail::guarded;

namespace {

// The record's numbers and the entry's, in the same order.
constexpr int32_t LzxEntry::*kRecordFields[] = {&LzxEntry::size,        &LzxEntry::version,
                                                &LzxEntry::status,      &LzxEntry::scramble,
                                                &LzxEntry::deleteAfter, &LzxEntry::existingOnly,
                                                &LzxEntry::languages,   &LzxEntry::productVersions};
constexpr int32_t Entry::*kEntryFields[] = {
    &Entry::size,        &Entry::version,      &Entry::status,    &Entry::scramble,
    &Entry::deleteAfter, &Entry::existingOnly, &Entry::languages, &Entry::productVersions};

Entry fromRecord(const LzxEntry& r) {
    Entry e;
    e.name.assign(r.name, strnlen(r.name, sizeof r.name));
    for (size_t i = 0; i < std::size(kEntryFields); ++i) e.*kEntryFields[i] = r.*kRecordFields[i];
    return e;
}

LzxEntry toRecord(const Entry& e) {
    LzxEntry r;
    std::memset(&r, 0, sizeof r);
    // The record keeps a NUL after the name; a longer name is refused, never cut.
    if (e.name.size() >= sizeof r.name || e.name.find('\0') != std::string::npos) {
        throw Error("entry name too long or not text [" + e.name.substr(0, 40) + "]");
    }
    std::memcpy(r.name, e.name.data(), e.name.size());
    for (size_t i = 0; i < std::size(kEntryFields); ++i) r.*kRecordFields[i] = e.*kEntryFields[i];
    return r;
}

// The progress hook of the core is a plain function per thread; this one
// forwards to the caller's callable for the length of one call.
thread_local const Progress* tProgress = nullptr;

void forwardProgress(int64_t done, int64_t total) {
    if (tProgress) (*tProgress)(done, total);
}

class ProgressScope {
  public:
    explicit ProgressScope(const Progress& p) {
        if (!p) return;
        tProgress = &p;
        ArchiveSetProgress(forwardProgress);
    }
    ~ProgressScope() {
        ArchiveSetProgress(nullptr);
        tProgress = nullptr;
    }
};

// The archive operations' thread count for one call.
class ThreadsScope {
  public:
    explicit ThreadsScope(int threads) {
        ArchiveSetThreads(detail::threadCount(Options(Mode::lz, threads)));
    }
    ~ThreadsScope() { ArchiveSetThreads(1); }
};

}  // namespace

void list(const std::string& archive, const std::function<void(const Entry&)>& visit, int threads) {
    detail::OwnedHile r;
    r.use([&](HILE*) {
        r.h = Hopen(archive.c_str(), "rb", detail::threadCount(Options(Mode::lz, threads)));
        HILE* h = r.h;
        const int32_t length = h->header.length;
        for (;;) {
            LzxEntry e;
            int32_t got = Hread(&e, sizeof e, h);
            if (got == 0) break;
            if (got != static_cast<int32_t>(sizeof e)) {
                throw Error("the archive ends inside an entry record");
            }
            Entry entry = fromRecord(e);
            int64_t next = static_cast<int64_t>(Htell(h)) + e.size;
            if (e.size < 0 || next > length) {
                throw Error("entry [" + entry.name + "] has more data than the archive holds");
            }
            visit(entry);
            // Read, not sought past: the same blocks in the same order as
            // unpacking, so a damaged block fails here first.
            std::vector<char> skip(1 << 16);
            for (int32_t left = e.size; left > 0;) {
                int32_t piece = std::min(left, static_cast<int32_t>(skip.size()));
                int32_t n = Hread(skip.data(), piece, h);
                if (n == 0) break;  // cannot happen: the size was checked against the length
                left -= n;
            }
        }
        Hclose(h);
        r.h = nullptr;
    });
}

std::vector<Entry> list(const std::string& archive) {
    std::vector<Entry> out;
    list(archive, [&](const Entry& e) { out.push_back(e); });
    return out;
}

void unpack(const std::string& archive, const UnpackOptions& o) {
    std::vector<LzxEntry> table;
    if (o.installed) {
        // Room for every entry of the archive besides the records held.
        size_t entries = 0;
        list(archive, [&](const Entry&) { ++entries; });
        table.resize(o.installed->size() + entries + 1);
        std::memset(table.data(), 0, table.size() * sizeof(LzxEntry));
        for (size_t i = 0; i < o.installed->size(); ++i) table[i] = toRecord((*o.installed)[i]);
    }
    ProgressScope progress(o.progress);
    ThreadsScope threads(o.threads);
    guarded([&] {
        UnPackLZX(archive.c_str(), o.target.empty() ? nullptr : o.target.c_str(),
                  table.empty() ? nullptr : table.data(), static_cast<int32_t>(table.size()),
                  o.force ? 1 : 0, o.languages, o.productVersions,
                  o.unsafePaths ? kUnpackUnsafePaths : 0);
    });
    if (o.installed) {
        o.installed->clear();
        for (const LzxEntry& r : table) {
            if (r.name[0] == 0) break;
            o.installed->push_back(fromRecord(r));
        }
    }
}

std::string targetProblem(const Entry& entry, const std::string& target, bool unsafePaths) {
    LzxEntry r = toRecord(entry);
    return guarded([&] {
        char path[kFileNameMax];
        const char* why = ArchiveTargetPath(r, target.empty() ? nullptr : target.c_str(),
                                            unsafePaths ? kUnpackUnsafePaths : 0, path);
        return std::string(why ? why : "");
    });
}

PackResult pack(const std::string& listFile, const Progress& progress, bool best, int threads) {
    ProgressScope scope(progress);
    ThreadsScope threadsScope(threads);
    return guarded([&] {
        int32_t total = 0;
        int32_t packed = 0;
        int32_t entries = PackLZX(listFile.c_str(), &total, &packed, nullptr, 0, best ? 1 : 0);
        return PackResult{entries, total, packed};
    });
}

struct ArchiveWriter::State {
    explicit State(const std::string& path, const Options& o) : out(path, o) {}
    Writer out;
    int64_t length = 0;
};

ArchiveWriter::ArchiveWriter(const std::string& path, const Options& options)
    : s_(new State(path, options)) {}
ArchiveWriter::~ArchiveWriter() = default;
ArchiveWriter::ArchiveWriter(ArchiveWriter&&) noexcept = default;
ArchiveWriter& ArchiveWriter::operator=(ArchiveWriter&&) noexcept = default;

namespace {

LzxEntry recordFor(const Entry& entry, int64_t size, int64_t length) {
    LzxEntry r = toRecord(entry);
    if (r.version < 100) throw Error("entry version below 100 [" + entry.name + "]");
    // The stream counts its length in 32 bits.
    if (size > INT32_MAX || length + static_cast<int64_t>(sizeof r) + size > INT32_MAX) {
        throw Error("archive would exceed 2 GB [" + entry.name + "]");
    }
    r.size = static_cast<int32_t>(size);
    r.status = 0;
    return r;
}

}  // namespace

void ArchiveWriter::add(const Entry& entry, const void* data, size_t size) {
    LzxEntry r = recordFor(entry, static_cast<int64_t>(size), s_->length);
    s_->out.write(&r, sizeof r);
    s_->out.write(data, size);
    s_->length += static_cast<int64_t>(sizeof r + size);
}

void ArchiveWriter::addFile(const Entry& entry, const std::string& source) {
    FileRec f;
    int32_t size = guarded([&] {
        FileInit(f, 1, source.c_str());
        return FileSize(f);
    });
    if (size < 0) throw Error("archive would exceed 2 GB [" + entry.name + "]");
    LzxEntry r = recordFor(entry, size, s_->length);
    s_->out.write(&r, sizeof r);
    // Exactly `size` bytes, so the record matches its data even when the
    // source changes meanwhile.
    std::vector<uint8_t> buf(1 << 16);
    guarded([&] {
        FileOpenRead(f);
        for (int32_t left = size; left > 0;) {
            int32_t n = FileRead(f, std::min(left, static_cast<int32_t>(buf.size())), buf.data());
            if (n == 0) fatalError("PackLZX: File shrank while packing [%s]", f.name);
            s_->out.write(buf.data(), static_cast<size_t>(n));
            left -= n;
        }
        if (FileRead(f, 1, buf.data()) != 0) {
            fatalError("PackLZX: File grew while packing [%s]", f.name);
        }
        FileClose(f);
    });
    s_->length += static_cast<int64_t>(sizeof r) + size;
}

int64_t ArchiveWriter::close() {
    return s_->out.close();
}

std::vector<Entry> readInstalledList(const std::string& versionFile) {
    return guarded([&] {
        std::vector<Entry> out;
        if (!FileExists(versionFile.c_str())) return out;
        FileRec f;
        FileInit(f, sizeof(LzxEntry), versionFile.c_str());
        int32_t count = FileSize(f);
        std::vector<LzxEntry> table(static_cast<size_t>(count > 0 ? count : 0));
        FileOpenRead(f);
        int32_t got = FileRead(f, count, table.data());
        FileClose(f);
        for (int32_t i = 0; i < got && table[static_cast<size_t>(i)].name[0] != 0; ++i) {
            out.push_back(fromRecord(table[static_cast<size_t>(i)]));
        }
        return out;
    });
}

void writeInstalledList(const std::string& versionFile, const std::vector<Entry>& entries) {
    std::vector<LzxEntry> table;
    for (const Entry& e : entries) table.push_back(toRecord(e));
    guarded([&] {
        FileRec f;
        FileCreateBeside(f, sizeof(LzxEntry), versionFile.c_str());
        FileWrite(f, static_cast<int32_t>(table.size()), table.data());
        FileSync(f);
        FileCommit(f, versionFile.c_str());
    });
}

}  // namespace lzx
