// Whole buffers through the library interface. The container is made and
// read by the same stream code as files, through a private temporary file,
// so a buffer gets every check a file gets.
#include "lzx/api/buffer.h"
#include "lzx/api/guard.h"
#include "lzx/api/stream.h"

namespace lzx {

using detail::guarded;

std::vector<uint8_t> compress(const void* data, size_t size, const Options& options) {
    detail::TempFile temp;
    Writer w(temp.path(), options);
    w.write(data, size);
    w.close();
    return guarded([&] {
        FileRec f;
        FileInit(f, 1, temp.path().c_str());
        FileOpenRead(f);
        std::vector<uint8_t> out(static_cast<size_t>(FileSize(f)));
        if (FileRead(f, static_cast<int32_t>(out.size()), out.data()) !=
            static_cast<int32_t>(out.size())) {
            fatalError("LZX DoFread failed [%s, %d]", f.name, static_cast<int32_t>(out.size()));
        }
        FileClose(f);
        return out;
    });
}

std::vector<uint8_t> decompress(const void* data, size_t size, const Options& options) {
    detail::TempFile temp;
    guarded([&] {
        if (size > INT32_MAX) fatalError("Hopen: bad header");
        FileRec f;
        FileInit(f, 1, temp.path().c_str());
        FileCreate(f);
        FileWrite(f, static_cast<int32_t>(size), data);
        FileClose(f);
    });
    Reader r(temp.path(), options);
    std::vector<uint8_t> out(static_cast<size_t>(r.size()));
    if (r.read(out.data(), out.size()) != out.size()) throw Error("Hread: short stream");
    r.close();
    return out;
}

}  // namespace lzx
