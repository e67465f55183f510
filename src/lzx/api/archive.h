// Archives: an LZX1 stream of 432-byte entry records, each followed by its
// file's bytes. Errors throw lzx::Error (error.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lzx/api/error.h"

namespace lzx {

// One entry record. A name that begins with "#" is unpacked below the target
// directory. Bit sets: languages d e f g = 1 2 4 8, product versions
// 1 2 3 = 1 2 4; 0 = every one.
struct Entry {
    std::string name;
    int32_t size = 0;      // data bytes (set by the writer)
    int32_t version = 0;   // at least 100 in an archive
    int32_t status = 0;    // in a list of installed files: 1 added, 2 replaced, 3 kept
    int32_t scramble = 0;  // 1: scramble the file after writing it
    int32_t deleteAfter = 0;
    int32_t existingOnly = 0;  // write only over an existing file
    int32_t languages = 0;
    int32_t productVersions = 0;
};

// Calls visit for every entry in order, without writing anything. The data
// is decoded on the way, in the order unpack reads it, so damage shows here.
// threads: that decode the blocks ahead (0: one per core).
void list(const std::string& archive, const std::function<void(const Entry&)>& visit,
          int threads = 1);
std::vector<Entry> list(const std::string& archive);

struct UnpackOptions {
    std::string target;           // directory for "#" names; empty: such names fail
    bool force = false;           // write over existing files / equal installed versions
    int32_t languages = 0;        // accepted languages (0: entries with a
    int32_t productVersions = 0;  // condition are skipped)
    // List of installed files: read for the version checks and updated in
    // place (status 1 added, 2 replaced, 3 kept); grows as needed.
    std::vector<Entry>* installed = nullptr;
    // Let entries land outside the target ("..", absolute names, links inside
    // the target): only for archives one trusts.
    bool unsafePaths = false;
    Progress progress;
    // Threads that decode the archive's blocks ahead while files are written
    // (0: one per core).
    int threads = 1;
};
// Each entry's target is checked as it is written (see targetProblem); a
// file is written beside its name and renamed over it when complete.
void unpack(const std::string& archive, const UnpackOptions& options = {});
// Why unpack would refuse to write the entry below `target` (a path too long,
// a "#" name without a target, unless unsafePaths a name that lands outside
// the target or passes a link inside it); empty when it may be written.
std::string targetProblem(const Entry& entry, const std::string& target, bool unsafePaths);

struct PackResult {
    int32_t entries;
    int64_t sourceBytes;
    int64_t archiveBytes;
};
// Builds the archive that a list file describes.
// best: pack with the slower LZ packer that finds smaller archives.
// threads: that code the blocks while files are read (0: one per core); the
// archive is the same for any count.
PackResult pack(const std::string& listFile, const Progress& progress = {}, bool best = false,
                int threads = 1);

// Builds an archive from entries given in code.
class ArchiveWriter {
  public:
    explicit ArchiveWriter(const std::string& path, const Options& options = {});
    ~ArchiveWriter();
    ArchiveWriter(ArchiveWriter&&) noexcept;
    ArchiveWriter& operator=(ArchiveWriter&&) noexcept;

    // entry.size is set from the data; the name holds at most 255 characters
    // and the version must be at least 100.
    void add(const Entry& entry, const void* data, size_t size);
    void addFile(const Entry& entry, const std::string& source);
    // Finishes the archive; returns its size in bytes.
    int64_t close();

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// The installer's version file ("lzx.ver"): whole entry records.
std::vector<Entry> readInstalledList(const std::string& versionFile);
void writeInstalledList(const std::string& versionFile, const std::vector<Entry>& entries);

}  // namespace lzx
