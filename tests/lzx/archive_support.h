// Helpers for archive tests: entry records and archives written straight
// through the stream, so that unpacking can be fed what no packer makes.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lzx/lzx.h"
#include "stream_support.h"
#include "support/tempdir.h"

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

// The archive stream of the items; `cut` bytes are dropped from its end.
inline std::string archiveStream(std::vector<ArchiveItem> items, size_t cut = 0) {
    std::string stream;
    for (ArchiveItem& it : items) {
        if (!it.keepSize) it.entry.size = static_cast<int32_t>(it.data.size());
        stream.append(reinterpret_cast<const char*>(&it.entry), sizeof it.entry);
        stream += it.data;
    }
    stream.resize(stream.size() - cut);
    return stream;
}

// Writes the items as an archive; `cut` bytes are dropped from the stream's end.
inline void writeArchive(const std::string& path, std::vector<ArchiveItem> items, size_t cut = 0) {
    std::string stream = archiveStream(std::move(items), cut);
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

// An archive of two entries whose second record lies in block 1 and names
// `realName`; after the real block 1 comes a decoy block whose record names
// `decoyName`, and the block index sends seeking readers to the decoy.
inline void writeDecoyArchive(const std::string& path, const std::string& realName,
                              const std::string& decoyName) {
    auto content = [](const std::string& second) {
        LzxEntry a = makeEntry("#first");
        a.size = kBlockSize - 432 - 100;
        LzxEntry b = makeEntry(second);
        b.size = 5;
        return std::string(reinterpret_cast<const char*>(&a), sizeof a) +
               std::string(static_cast<size_t>(a.size), 'a') +
               std::string(reinterpret_cast<const char*>(&b), sizeof b) + "evil!";
    };
    writeStream("real.tmp", "wb", content(realName));
    writeStream("decoy.tmp", "wb", content(decoyName));
    const std::string real = readFile("real.tmp"), decoy = readFile("decoy.tmp");
    std::remove("real.tmp");
    std::remove("decoy.tmp");
    const int32_t decoyIndex = le32(decoy, 4);
    const int32_t decoyBlock1 = le32(decoy, static_cast<size_t>(decoyIndex + 4));
    std::string file = real.substr(0, static_cast<size_t>(le32(real, 4)));
    const int32_t decoyAt = static_cast<int32_t>(file.size());
    file += decoy.substr(static_cast<size_t>(decoyBlock1),
                         static_cast<size_t>(decoyIndex - decoyBlock1));
    const int32_t index = static_cast<int32_t>(file.size());
    file += std::string(8, '\0');
    setLe32(file, 4, index);
    setLe32(file, static_cast<size_t>(index), 16);
    setLe32(file, static_cast<size_t>(index + 4), decoyAt);
    writeFile(path, file);
}
