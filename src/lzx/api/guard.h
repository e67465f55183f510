// Inside the library interface: runs the fatal-on-failure core so that a
// failure comes back as lzx::Error, with everything the failed call opened
// closed and removed again.
#pragma once

#include <thread>

#include "base/error.h"
#include "fileio/fileio.h"
#include "lzx/api/error.h"
#include "lzx/lzx.h"

namespace lzx::detail {

template <typename F>
auto guarded(F&& f) -> decltype(f()) {
    FatalThrowScope scope;
    const uint64_t files = FileStackMark();
    const uint64_t streams = HileMark();
    try {
        return f();
    } catch (const FatalError& e) {
        HabandonSince(streams);
        FileCloseSince(files);
        throw Error(e.what());
    } catch (...) {
        HabandonSince(streams);
        FileCloseSince(files);
        throw;
    }
}

inline int threadCount(const Options& o) {
    if (o.threads > 0) return o.threads;
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

inline const char* writeMode(Mode m) {
    return m == Mode::huffman ? "wbh" : m == Mode::rowsort ? "wbs" : "wb";
}

inline Mode modeOf(uint32_t flags) {
    return (flags & kFlagRowSort)   ? Mode::rowsort
           : (flags & kFlagHuffman) ? Mode::huffman
                                    : Mode::lz;
}

// A stream owned by an interface object: abandoned unless closed.
struct OwnedHile {
    HILE* h = nullptr;
    OwnedHile() = default;
    OwnedHile(const OwnedHile&) = delete;
    OwnedHile& operator=(const OwnedHile&) = delete;
    ~OwnedHile() {
        try {
            abandon();
        } catch (...) {
        }
    }
    void abandon() {
        // A stream opened inside the failed call is gone already.
        if (h && HileIsLive(h)) guarded([&] { Habandon(h); });
        h = nullptr;
    }
    // Runs f(h); after a failure the stream is of no further use and is
    // abandoned, so later calls fail with the library's invalid-handle message.
    template <typename F>
    auto use(F&& f) -> decltype(f(h)) {
        try {
            return guarded([&] { return f(h); });
        } catch (...) {
            abandon();
            throw;
        }
    }
};

// A private file in the temporary directory, removed when this ends.
class TempFile {
  public:
    TempFile();
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace lzx::detail
