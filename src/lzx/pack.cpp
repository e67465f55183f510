// Archive packing: builds an LZX1 archive of entry records and file data
// from a list file.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "fileio/fileio.h"
#include "lzx/archive.h"
#include "lzx/lzx.h"

namespace {

constexpr int32_t kCopyPiece = 8192;
// One per thread: archives may be packed and unpacked on several at once.
thread_local uint8_t gCopyBuffer[kCopyPiece];

// FileReadLine hands back a line of `maximum` characters when the line is
// longer than the limit; such a line is refused rather than split.
void readLine(FileRec& f, char* buffer, int32_t maximum, const char* missing, const char* what) {
    if (!FileReadLine(f, buffer, maximum)) fatalError("%s", missing);
    if (static_cast<int32_t>(std::strlen(buffer)) >= maximum) {
        fatalError("PackLZX: %s longer than %d characters [%.40s...]", what, maximum - 1, buffer);
    }
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A decimal number as the C library's atoi reads it: leading blanks, a sign,
// digits; anything after the digits is ignored. Values beyond 32 bits are
// refused instead of wrapping into another meaning.
int32_t number(const char* text, const char* field) {
    while (isBlank(*text)) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) fatalError("PackLZX: Number too large [%s]", field);
    return static_cast<int32_t>(value);
}

// Letters or digits that each add the value of their bit, up to the first
// other character. A repeated one adds again: "L=dd" is 2, "J=33" is 8. A
// line is too short for the sum to overflow.
int32_t bitSum(const char* text, const char* symbols) {
    int32_t sum = 0;
    for (; *text != 0; ++text) {
        const char* at = std::strchr(symbols, std::tolower(static_cast<unsigned char>(*text)));
        if (at == nullptr) break;
        sum += 1 << (at - symbols);
    }
    return sum;
}

void applyOption(LzxEntry& e, const char* field) {
    const char* p = field;
    while (isBlank(*p)) ++p;
    char key = static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])));
    if (p[0] == 0 || p[1] != '=') fatalError("PackLZX: Unknown option [%s]", field);
    const char* value = p + 2;
    switch (key) {
        case 'V':
            e.version = number(value, field);
            break;
        case 'E':
            e.scramble = number(value, field);
            break;
        case 'D':
            e.deleteAfter = number(value, field);
            break;
        case 'R':
            e.existingOnly = number(value, field);
            break;
        case 'L':
            e.languages = bitSum(value, "defg");
            break;
        case 'J':
            e.productVersions = bitSum(value, "123");
            break;
        default:
            fatalError("PackLZX: Unknown option [%s]", field);
    }
}

// Splits a source line at "|" in place; empty fields are dropped.
int splitFields(char* line, char** fields, int maxFields) {
    int count = 0;
    for (char* p = line; *p != 0;) {
        char* bar = std::strchr(p, '|');
        if (bar) *bar = 0;
        if (*p != 0) {
            if (count == maxFields) {
                fatalError("PackLZX: More than %d options [%s]", kListOptionsMax, fields[0]);
            }
            fields[count++] = p;
        }
        if (!bar) break;
        p = bar + 1;
    }
    return count;
}

// Copies exactly `size` bytes, so the record always matches its data even
// when the source changes while it is packed.
void copySource(FileRec& src, int32_t size, HILE* archive, int64_t& done) {
    for (int32_t remaining = size; remaining > 0;) {
        int32_t piece = remaining < kCopyPiece ? remaining : kCopyPiece;
        int32_t n = FileRead(src, piece, gCopyBuffer);
        if (n == 0) fatalError("PackLZX: File shrank while packing [%s]", src.name);
        Hwrite(gCopyBuffer, n, archive);
        remaining -= n;
        done += n;
        ArchiveReportProgress(done, 0);
    }
    if (FileRead(src, 1, gCopyBuffer) != 0) {
        fatalError("PackLZX: File grew while packing [%s]", src.name);
    }
}

}  // namespace

int32_t PackLZX(const char* listFile, int32_t* totalOut, int32_t* packedOut, LzxEntry* list,
                int32_t capacity, int32_t best) {
    if (std::strlen(listFile) >= kFileNameMax) fatalError("PackLZX: List file name too long");
    FileRec lf;
    FileInit(lf, 1, listFile);
    FileOpenRead(lf);

    char archiveName[kListLineMax + 2];
    char base[kListLineMax + 2];
    readLine(lf, archiveName, kListLineMax + 1, "PackLZX: No first line", "archive line");
    readLine(lf, base, kListLineMax + 1, "PackLZX: No base directory", "base directory");
    // The archive replaces whatever has its name: never the list itself.
    if (FileSame(archiveName, listFile)) {
        fatalError("PackLZX: Archive is the list file [%s]", archiveName);
    }

    // The whole list is read and every source looked at before the archive
    // is begun, so a faulty list or a missing file writes nothing.
    struct Item {
        LzxEntry entry;
        char source[kFileNameMax];
    };
    std::vector<Item> items;
    int64_t streamEnd = 0;
    char line[kListLineMax + 2];
    while (FileReadLine(lf, line, kListLineMax + 1)) {
        if (std::strlen(line) > kListLineMax) {
            fatalError("PackLZX: source line longer than %d characters [%.40s...]", kListLineMax,
                       line);
        }
        char* fields[1 + kListOptionsMax];
        int count = splitFields(line, fields, 1 + kListOptionsMax);
        if (count == 0) fatalError("PackLZX: No filename found");

        Item item;
        LzxEntry& e = item.entry;
        std::memset(&e, 0, sizeof e);
        const char* name = fields[0];
        const char* prefix = name[0] == '#' ? "" : base;
        if (name[0] == '#') ++name;
        if (std::strlen(prefix) + std::strlen(name) > kArchivePathMax) {
            fatalError("PackLZX: Source path too long [%s]", fields[0]);
        }
        std::snprintf(item.source, sizeof item.source, "%s%s", prefix, name);

        for (int i = 1; i < count; ++i) applyOption(e, fields[i]);
        if (e.version < 100) fatalError("PackLZX: Version error [%s]", item.source);

        char stored[kStoredNameMax + 2];
        readLine(lf, stored, kStoredNameMax + 1, "PackLZX: No first line", "stored name");
        std::memcpy(e.name, stored, std::strlen(stored));

        FileRec src;
        FileInit(src, 1, item.source);
        int32_t size = FileSize(src);
        if (size == 0) fatalError("PackLZX: Cannot pack empty or missing file");
        // FileSize turns sizes of 2 GB and more negative; the stream's
        // 32-bit length could not carry them either.
        streamEnd += static_cast<int64_t>(sizeof e) + (size < 0 ? 0 : size);
        if (size < 0 || streamEnd > INT32_MAX) {
            fatalError("PackLZX: Archive would exceed 2 GB [%s]", item.source);
        }
        // Written over one of its own sources, the archive would destroy it.
        if (FileSame(item.source, archiveName)) {
            fatalError("PackLZX: Archive is one of its sources [%s]", item.source);
        }
        e.size = size;
        items.push_back(item);
    }
    FileClose(lf);

    HILE* archive = Hopen(archiveName, "wb", ArchiveThreads());
    archive->packBest = best;
    int32_t entries = 0;
    int32_t total = 0;
    int64_t done = 0;
    for (Item& item : items) {
        LzxEntry& e = item.entry;
        FileRec src;
        FileInit(src, 1, item.source);
        FileOpenRead(src);
        if (list != nullptr && entries < capacity) list[entries] = e;
        ++entries;
        Hwrite(&e, sizeof e, archive);
        total += e.size;
        copySource(src, e.size, archive, done);
        FileClose(src);
    }

    int32_t packed = Hclose(archive);
    if (packedOut) *packedOut = packed;
    if (totalOut) *totalOut = total;
    return entries;
}
