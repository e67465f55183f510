// LZX1 streams: a byte stream cut into 16384-byte blocks, each coded on its
// own, with a block index for seeking. Errors throw lzx::Error (error.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "lzx/api/error.h"

namespace lzx {

// Writes an LZX1 file. Until close() returns, the file is unfinished; a
// writer destroyed before that (or after a failure) removes it.
class Writer {
  public:
    explicit Writer(const std::string& path, const Options& options = {});
    ~Writer();
    Writer(Writer&&) noexcept;
    Writer& operator=(Writer&&) noexcept;

    void write(const void* data, size_t size);
    // Finishes the file; returns its size in bytes.
    int64_t close();

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Reads an LZX1 file as a byte stream, with seeking.
class Reader {
  public:
    explicit Reader(const std::string& path, const Options& options = {});
    ~Reader();
    Reader(Reader&&) noexcept;
    Reader& operator=(Reader&&) noexcept;

    // Copies up to `size` bytes; returns how many, 0 at the end.
    size_t read(void* data, size_t size);
    // Moves to a stream offset, 0 <= offset < size().
    void seek(int64_t offset);
    int64_t tell() const;
    int64_t size() const;  // uncompressed length
    Mode mode() const;
    void close();

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Whole files. The output is written beside its name and renamed over it
// when complete.
void compressFile(const std::string& in, const std::string& out, const Options& options = {});
void decompressFile(const std::string& in, const std::string& out, const Options& options = {});

// Whole C++ streams (stdin, stdout, sockets...). The container needs seeking,
// so these go through a private temporary file that is removed afterwards.
void compress(std::istream& in, std::ostream& out, const Options& options = {});
void decompress(std::istream& in, std::ostream& out, const Options& options = {});
// A C++ stream in, a file out (written beside its name, renamed when whole).
void compress(std::istream& in, const std::string& out, const Options& options = {});
void decompress(std::istream& in, const std::string& out, const Options& options = {});

// Header fields of an LZX1 file.
struct Info {
    int64_t length;       // uncompressed bytes
    int64_t fileSize;     // bytes of the file
    int64_t indexOffset;  // where the block index starts
    uint32_t flags;       // 1 Huffman-only, 2 row sort
    int64_t blocks;
    Mode mode;
};
Info info(const std::string& path);

// Decodes every block and checks the block index against the blocks; throws
// lzx::Error naming the damage.
void verify(const std::string& path);

}  // namespace lzx
