// Archive operations beyond the public UnPackLZX/PackLZX pair: the in-place
// scrambling that unpacking applies, and an optional progress report that
// command-line tools hook into for long runs.
#pragma once

#include <cstdint>

#include "lzx/lzx.h"

// Longest target or source path an archive operation builds, and the limits
// of the list file's lines (longer lines are refused).
constexpr int kArchivePathMax = 255;
constexpr int kListLineMax = 255;
constexpr int kStoredNameMax = 127;
constexpr int kListOptionsMax = 47;

// Builds the target path of an entry into `path` (kFileNameMax bytes) and
// checks it. Returns nullptr when the entry may be written there, else why
// not: a path too long, a "#" name without a target, and, unless `options`
// hold kUnpackUnsafePaths, a name that lands outside the target (absolute,
// drive or stream colons, "..", components of dots and blanks, a name
// without "#" beside a target other than ".") or a directory inside the
// target that is a link. The target itself may be a link.
const char* ArchiveTargetPath(const LzxEntry& e, const char* target, uint32_t options, char* path);

// The scrambling key sequence applied as data goes by: overlapping 4-byte
// windows at offsets 1 to size - 4, each XORed with its own key. Applying it
// twice restores the data; files of 4 bytes or fewer stay unchanged.
class Scrambler {
  public:
    explicit Scrambler(int64_t size) : size_(size) {}
    // XORs the next n bytes of the file.
    void apply(uint8_t* data, int32_t n);

  private:
    int64_t applyLanes(uint8_t* data, int64_t p, int64_t n);
    int64_t size_;
    int64_t offset_ = 0;
    uint32_t keys_[4] = {};       // window j's key at j % 4, for the last four windows
    uint32_t next_ = 0x6D2E91C5;  // key of the next window: the initial key first
};

// UnPackLZX over an archive stream that was decoded before (`length` bytes
// at `stream`, which a check read to its end): the same entries, filters,
// checks and messages, without decoding the container a second time.
int32_t UnPackLZXStream(const uint8_t* stream, int64_t length, const char* target, LzxEntry* list,
                        int32_t capacity, int32_t force, int32_t languages, int32_t productVersions,
                        uint32_t options = 0);

// Scrambles the file at path: writes the scrambled bytes beside it and
// renames them over it.
void ScrambleFile(const char* path);

// Called during UnPackLZX and PackLZX after each piece of file data: bytes of
// the stream done so far, and the stream's whole length (0 when not known
// yet, as while packing). Null switches the report off. The hook belongs to
// the calling thread.
using ArchiveProgressFn = void (*)(int64_t done, int64_t total);
void ArchiveSetProgress(ArchiveProgressFn fn);
// UnPackLZX and PackLZX code the blocks of their archive stream on this many
// threads: with two or more, blocks are decoded ahead (or coded behind) while
// the calling thread writes (or reads) files. 1, the default, keeps to the
// calling thread. Like the hook, the setting belongs to the calling thread.
void ArchiveSetThreads(int threads);
int ArchiveThreads();
void ArchiveReportProgress(int64_t done, int64_t total);
