// Scrambling of unpacked files and the progress hook shared by packing and
// unpacking.
#include "lzx/archive.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "fileio/fileio.h"

namespace {

// The key sequence is fixed, so the product program can undo it by applying
// the same XOR again.
constexpr uint32_t kScrambleKey = 0x6D2E91C5;
constexpr uint32_t kScrambleStep = 0x3A7F5B29;

// Per thread, like the operations that report through it.
thread_local ArchiveProgressFn gProgress = nullptr;

}  // namespace

void ScrambleFile(const char* path) {
    FileRec f;
    FileInit(f, 1, path);
    int32_t n = FileSize(f);
    // One byte more than asked, so an empty file still gets a real block.
    // Owned by a holder, so a failed read that a library caller survives
    // does not leak it.
    std::unique_ptr<uint8_t, void (*)(void*)> holder(
        static_cast<uint8_t*>(std::calloc(static_cast<size_t>(n) + 1, 1)), std::free);
    uint8_t* data = holder.get();
    if (data == nullptr) internalError(kSrcLzx, 1400, -1);
    FileOpenRead(f);
    FileRead(f, n, data);
    FileClose(f);

    uint32_t key = kScrambleKey;
    for (int32_t p = 1; p <= n - 4; ++p) {
        // Overlapping little-endian windows: byte p takes the low byte of key.
        for (int i = 0; i < 4; ++i) data[p + i] ^= static_cast<uint8_t>(key >> (8 * i));
        key = key * kScrambleStep + 1;
    }

    FileCreate(f);
    FileWrite(f, n, data);
    FileClose(f);
}

void ArchiveSetProgress(ArchiveProgressFn fn) {
    gProgress = fn;
}

void ArchiveReportProgress(int64_t done, int64_t total) {
    if (gProgress) gProgress(done, total);
}
