// The compression library's only way to files: thin wrappers over the file
// layer with record size 1, whose short counts are fatal.
#include <cctype>

#include "base/error.h"
#include "lzx/lzx.h"

namespace {

bool sameMode(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != *b) return false;
    }
    return *a == 0 && *b == 0;
}

}  // namespace

void DoFopen(const char* name, const char* mode, FileRec& rec) {
    if (sameMode(mode, "wb")) {
        FileInit(rec, 1, name);
        FileCreate(rec);
    } else if (sameMode(mode, "rb")) {
        FileInit(rec, 1, name);
        FileOpenRead(rec);
    } else if (sameMode(mode, "w+b")) {
        FileInit(rec, 1, name);
        FileCreate(rec);
        FileClose(rec);
        FileOpenUpdate(rec);
    } else {
        fatalError("LZX DoFopen [%s] [%s] failed", name, mode);
    }
}

void DoFread(void* buf, int32_t n, FileRec& rec) {
    if (n < 0 || FileRead(rec, n, buf) != n) fatalError("LZX DoFread failed [%s, %d]", rec.name, n);
}

void DoFwrite(const void* buf, int32_t n, FileRec& rec) {
    if (n < 0 || FileWrite(rec, n, buf) != n) fatalError("LZX DoFwrite failed");
}

void DoFseek(FileRec& rec, int32_t offset) {
    FileSeek(rec, offset, 0);
}

int32_t DoFtell(FileRec& rec) {
    int32_t pos = FileTell(rec);
    if (pos < 0) fatalError("LZX DoFtell failed");
    return pos;
}

void DoFclose(FileRec& rec) {
    FileClose(rec);
}
