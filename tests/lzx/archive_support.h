// Helpers for archive tests: entry records and archives written straight
// through the stream, so that unpacking can be fed what no packer makes.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "lzx/lzx.h"

inline LzxEntry makeEntry(const std::string& name, int32_t version = 100) {
    LzxEntry e;
    std::memset(&e, 0, sizeof e);
    std::memcpy(e.name, name.data(), name.size());
    e.version = version;
    return e;
}

struct ArchiveItem {
    LzxEntry entry;
    std::string data;       // the record's size is taken from here
    bool keepSize = false;  // true: the record keeps its own size
};

// Writes the items as an archive; `cut` bytes are dropped from the stream's end.
inline void writeArchive(const std::string& path, std::vector<ArchiveItem> items, size_t cut = 0) {
    std::string stream;
    for (ArchiveItem& it : items) {
        if (!it.keepSize) it.entry.size = static_cast<int32_t>(it.data.size());
        stream.append(reinterpret_cast<const char*>(&it.entry), sizeof it.entry);
        stream += it.data;
    }
    stream.resize(stream.size() - cut);
    HILE* h = Hopen(path.c_str(), "wb");
    Hwrite(stream.data(), static_cast<int32_t>(stream.size()), h);
    Hclose(h);
}

// Reads back every entry record of an archive.
inline std::vector<LzxEntry> readEntries(const std::string& path) {
    std::vector<LzxEntry> out;
    HILE* h = Hopen(path.c_str(), "rb");
    LzxEntry e;
    while (Hread(&e, sizeof e, h) == static_cast<int32_t>(sizeof e)) {
        out.push_back(e);
        std::vector<char> skip(static_cast<size_t>(e.size));
        Hread(skip.data(), e.size, h);
    }
    Hclose(h);
    return out;
}
