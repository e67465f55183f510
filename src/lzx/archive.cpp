// Scrambling of unpacked files and the progress hook shared by packing and
// unpacking.
#include "lzx/archive.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "base/error.h"
#include "fileio/fileio.h"

namespace {

// Each key is the one before times this step, plus 1, modulo 2^32. The
// sequence is fixed, so the product program undoes it by applying it again.
constexpr uint32_t kScrambleStep = 0x3A7F5B29;
constexpr int32_t kScramblePiece = 16384;
constexpr int kScrambleLanes = 8;

// Per thread, like the operations that report through it.
thread_local ArchiveProgressFn gProgress = nullptr;
thread_local int gThreads = 1;

// Eight keys at once: key j + 8 is key j times kScrambleStep^8 plus the
// sum of its powers 0..7, so the eight lanes advance independently rather
// than each key waiting on the multiply before it.
constexpr auto kLaneStep = [] {
    uint32_t mul = 1, add = 0;
    for (int k = 0; k < kScrambleLanes; ++k) {
        add = add * kScrambleStep + 1;
        mul *= kScrambleStep;
    }
    return std::pair<uint32_t, uint32_t>{mul, add};
}();

}  // namespace

// The interior of the file, eight bytes at a time: byte q's mask is byte 0
// of key q, byte 1 of key q - 1, byte 2 of key q - 2 and byte 3 of key q - 3.
// Takes the keys of the three windows before p and the next key from the
// state and leaves them there for what follows; returns the bytes done.
int64_t Scrambler::applyLanes(uint8_t* data, int64_t p, int64_t n) {
    static_assert(kScrambleLanes == 8, "one 64-bit word of masks per round");
    uint32_t k[kScrambleLanes];
    k[0] = next_;
    for (int j = 1; j < kScrambleLanes; ++j) k[j] = k[j - 1] * kScrambleStep + 1;
    // Each key XORs its four bytes onto the four bytes from its window's
    // start: the three keys before p reach into the first word, and the last
    // three keys of a word into the next.
    uint32_t last[3] = {keys_[(p - 3) & 3], keys_[(p - 2) & 3], keys_[(p - 1) & 3]};
    uint64_t carry = last[2] >> 8 ^ last[1] >> 16 ^ last[0] >> 24;
    int64_t done = 0;
    for (; done + kScrambleLanes <= n; done += kScrambleLanes) {
        uint64_t mask = carry;
        carry = 0;
        for (int j = 0; j < kScrambleLanes; ++j) {
            mask ^= uint64_t{k[j]} << (8 * j);
            if (j >= 5) carry ^= uint64_t{k[j]} >> (64 - 8 * j);
        }
        uint64_t word;
        std::memcpy(&word, data + done, 8);
        word ^= mask;
        std::memcpy(data + done, &word, 8);
        for (int t = 0; t < 3; ++t) last[t] = k[5 + t];
        for (int j = 0; j < kScrambleLanes; ++j) k[j] = k[j] * kLaneStep.first + kLaneStep.second;
    }
    for (int t = 0; t < 3; ++t) keys_[(p + done - 3 + t) & 3] = last[t];
    next_ = k[0];
    return done;
}

void Scrambler::apply(uint8_t* data, int32_t n) {
    for (int32_t i = 0; i < n;) {
        const int64_t p = offset_;
        if (p >= 4 && p <= size_ - 4) {
            // Inside the file every window that holds a byte exists: the mask
            // is byte t of the key of window p - t, for t = 0 to 3.
            int64_t stop = std::min<int64_t>(n - i, size_ - 3 - p);
            const int64_t lanes = applyLanes(data + i, p, stop);
            i += static_cast<int32_t>(lanes);
            offset_ += lanes;
            stop -= lanes;
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
