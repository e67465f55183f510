// The LZX1 library's C++ interface: what every part of it shares.
//
// Errors: every function and method in namespace lzx reports a failure by
// throwing lzx::Error; its what() is the library's own message, such as
// "Hopen: not an LZX file" or "\nFile Error : name = [x] code = 209". A call
// that throws leaves no file open, no memory held and no temporary or
// half-written file behind, and the process goes on.
//
// Threads: objects share nothing, so any number of threads may each use
// their own objects at the same time. One object is used by one thread at a
// time.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace lzx {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How the blocks of a stream are coded. A reader takes it from the file.
enum class Mode {
    lz,       // LZ with Huffman codes: the default, good for anything
    huffman,  // Huffman codes only: faster, larger
    rowsort,  // 64-byte rows sorted ahead of LZ: bitmaps only (every block
              // needs a row of 0xFF bytes, else "SorPack: no empty rows")
};

// Bytes of the stream done so far and its whole length (0 when not known).
using Progress = std::function<void(int64_t done, int64_t total)>;

struct Options {
    Options(Mode m = Mode::lz, int n = 1) : mode(m), threads(n) {}
    Mode mode;  // for writing; ignored when reading
    // Threads that code blocks at once, each with its own codec context;
    // 0 = one per core. The output does not depend on it.
    int threads;
    // Called after each piece of a whole-file or whole-stream call.
    Progress progress;
    // Writing: the slower LZ packer that finds smaller files in the same
    // format (readable by every LZX1 reader). Ignored for Mode::huffman.
    bool best = false;
};

// The library's version, "major.minor.patch".
const char* version();

}  // namespace lzx
