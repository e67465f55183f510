// Scrambling of unpacked files and the progress hook shared by packing and
// unpacking.
#include "lzx/archive.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "fileio/fileio.h"

namespace {

// Each key is the one before times this step, plus 1, modulo 2^32. The
// sequence is fixed, so the product program undoes it by applying it again.
constexpr uint32_t kScrambleStep = 0x3A7F5B29;
constexpr int32_t kScramblePiece = 16384;

// Per thread, like the operations that report through it.
thread_local ArchiveProgressFn gProgress = nullptr;
thread_local int gThreads = 1;

}  // namespace

void Scrambler::apply(uint8_t* data, int32_t n) {
    for (int32_t i = 0; i < n;) {
        const int64_t p = offset_;
        if (p >= 4 && p <= size_ - 4) {
            // Inside the file every window that holds a byte exists: the mask
            // is byte t of the key of window p - t, for t = 0 to 3.
            const int64_t stop = std::min<int64_t>(n - i, size_ - 3 - p);
            for (int64_t k = 0; k < stop; ++k) {
                const int64_t q = p + k;
                keys_[q & 3] = next_;
                next_ = next_ * kScrambleStep + 1;
                const uint32_t mask = keys_[q & 3] ^ keys_[(q - 1) & 3] >> 8 ^
                                      keys_[(q - 2) & 3] >> 16 ^ keys_[(q - 3) & 3] >> 24;
                data[i + k] ^= static_cast<uint8_t>(mask);
            }
            i += static_cast<int32_t>(stop);
            offset_ += stop;
            continue;
        }
        if (p >= 1 && p <= size_ - 4) {
            keys_[p % 4] = next_;
            next_ = next_ * kScrambleStep + 1;
        }
        // Byte p lies in the windows that start at p - 3 to p; in window j it
        // takes byte p - j of that window's little-endian key.
        uint8_t mask = 0;
        for (int64_t j = p - 3; j <= p; ++j) {
            if (j >= 1 && j <= size_ - 4) {
                mask ^= static_cast<uint8_t>(keys_[j % 4] >> (8 * (p - j)));
            }
        }
        data[i] ^= mask;
        ++i;
        ++offset_;
    }
}

void ScrambleFile(const char* path) {
    FileRec in;
    FileInit(in, 1, path);
    int32_t n = FileSize(in);
    FileOpenRead(in);
    FileRec out;
    FileCreateBeside(out, 1, path);
    Scrambler scrambler(n);
    // Its own buffer: files may be scrambled on several threads at once.
    auto piece = std::make_unique<uint8_t[]>(kScramblePiece);
    for (int32_t got; (got = FileRead(in, kScramblePiece, piece.get())) > 0;) {
        scrambler.apply(piece.get(), got);
        FileWrite(out, got, piece.get());
    }
    FileClose(in);
    FileCommit(out, path);
}

void ArchiveSetProgress(ArchiveProgressFn fn) {
    gProgress = fn;
}

void ArchiveSetThreads(int threads) {
    gThreads = threads < 1 ? 1 : threads;
}

int ArchiveThreads() {
    return gThreads;
}

void ArchiveReportProgress(int64_t done, int64_t total) {
    if (gProgress) gProgress(done, total);
}
