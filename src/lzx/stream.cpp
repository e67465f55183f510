// The LZX1 stream: a byte stream cut into 16384-byte blocks, each coded on
// its own through the codec chain, with a block index at the end of the file.
//
// Reading never trusts the file: every count taken from it is checked against
// the buffers and the file's own layout before it is used, so a damaged file
// ends with a fatal message instead of stale data or a stray access.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "base/error.h"
#include "lzx/blocks.h"
#include "lzx/codec.h"
#include "lzx/lzx.h"
#include "lzx/rowsort.h"

// Reading streams read their container 64 KiB at a time: walking the blocks
// at the open and reading them afterwards then costs a few system calls per
// piece rather than several per block.
constexpr int32_t kReadPiece = 65536;

struct ReadCache {
    int32_t pos;    // where the stream's next read starts
    int32_t start;  // file offset of data[0]
    int32_t len;    // valid bytes in data
    uint8_t data[kReadPiece];
};

namespace {

// n bytes from the cache's position on, through its piece of the file; the
// count read, short only when the file ends or fails. It reads at explicit
// offsets, so the parts of the block walk can share the one open file.
int32_t cacheRead(const FileRec& f, ReadCache& c, uint8_t* out, int32_t n,
                  int32_t piece = kReadPiece) {
    int32_t done = 0;
    while (done < n) {
        int64_t from = static_cast<int64_t>(c.pos) - c.start;
        if (from < 0 || from >= c.len) {
            c.start = c.pos;
            c.len = std::max(FileReadAt(f, c.pos, piece, c.data), 0);
            if (c.len == 0) break;
            from = 0;
        }
        int32_t take = static_cast<int32_t>(std::min<int64_t>(n - done, c.len - from));
        std::memcpy(out + done, c.data + from, static_cast<size_t>(take));
        done += take;
        c.pos += take;
    }
    return done;
}

constexpr uint32_t kMagic = 0x31585A4C;  // "LZX1" read as a little-endian word
constexpr int32_t kHeaderSize = 16;
constexpr int32_t kIndexPiece = 256;
constexpr uint32_t kKnownFlags = kFlagHuffman | kFlagRowSort;

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void checkHandle(const HILE* h, const char* operation) {
    if (h == nullptr || h->header.magic != kMagic) {
        fatalError("%s: not a valid HILE *", operation);
    }
}

void writeHeader(HILE* h) {
    uint8_t raw[kHeaderSize];
    put32(raw, h->header.magic);
    put32(raw + 4, static_cast<uint32_t>(h->header.indexOffset));
    put32(raw + 8, static_cast<uint32_t>(h->header.length));
    put32(raw + 12, h->header.flags);
    DoFwrite(raw, kHeaderSize, h->file);
}

int64_t blockCount(int32_t length) {
    return (static_cast<int64_t>(length) + kBlockSize - 1) / kBlockSize;
}

[[noreturn]] void damaged(const HILE* h, const char* what) {
    fatalError("Hopen: damaged file, %s [%s]", what, h->fileName);
}

// A block head: the row count, up to 255 rows and B.
constexpr int32_t kWalkHeadPiece = 512;
constexpr int32_t kWalkFarBlock = 4096;

// A stretch of the block walk: blocks [first, end), of which the first
// starts at file offset `start`. It may run on a helper thread, so it never
// ends the process: it stops at the first thing wrong and leaves it in
// `fault`, or the size of a read that failed in `failedRead`.
struct WalkPart {
    int32_t first, end;
    int64_t start;
    int64_t at;  // where the next block starts; at the end, where the last one ended
    const char* fault;
    int32_t failedRead;
};

// Walks a part of the blocks by their own fields (row count and row list,
// B, the code bytes) and compares each start with the block index, a piece
// of the index at a time. Sequential reading follows the blocks and seeking
// follows the index: only when the two agree do both see the same bytes.
void walkPart(const HILE* h, ReadCache& cache, WalkPart& w) {
    const HileHeader& hd = h->header;
    const bool rowSort = (hd.flags & kFlagRowSort) != 0;
    // After a large block the next one starts far away: reading just its
    // head costs a system call, where a whole piece would also copy the
    // code bytes between. Small blocks share a piece.
    int32_t lastBytes = 0;
    auto read = [&](uint8_t* out, int32_t n) {
        cache.pos = static_cast<int32_t>(w.at);
        int32_t piece = lastBytes > kWalkFarBlock ? kWalkHeadPiece : kReadPiece;
        if (cacheRead(h->file, cache, out, n, piece) == n) return true;
        w.failedRead = n;
        return false;
    };
    auto bad = [&](const char* what) {
        w.fault = what;
        return false;
    };
    // One block: false when the walk must stop.
    auto block = [&](uint32_t indexed) {
        if (static_cast<int32_t>(indexed) != w.at)
            return bad("block index does not match the blocks");
        uint8_t raw[4];
        if (rowSort) {
            if (w.at + 1 > hd.indexOffset) return bad("bad block size");
            if (!read(raw, 1)) return false;
            w.at += 1 + raw[0];
        }
        if (w.at + 4 > hd.indexOffset) return bad("bad block size");
        if (!read(raw, 4)) return false;
        int32_t bits = static_cast<int32_t>(get32(raw));
        if (bits < 0 || bits > 8 * kCodecBufSize) return bad("bad block size");
        lastBytes = (bits + 7) / 8;
        w.at += 4 + lastBytes;
        if (w.at > hd.indexOffset) return bad("bad block size");
        return true;
    };
    uint8_t index[4 * kIndexPiece];
    w.at = w.start;
    for (int32_t first = w.first; first < w.end; first += kIndexPiece) {
        int32_t count = std::min(w.end - first, kIndexPiece);
        if (FileReadAt(h->file, hd.indexOffset + int64_t{4} * first, 4 * count, index) !=
            4 * count) {
            w.failedRead = 4 * count;
            return;
        }
        for (int32_t b = 0; b < count; ++b) {
            if (!block(get32(index + 4 * b))) return;
        }
    }
}

[[noreturn]] void readFailed(const HILE* h, int32_t n) {
    fatalError("LZX DoFread failed [%s, %d]", h->file.name, n);
}

// Below this many blocks per part a helper thread costs more than it saves.
constexpr int32_t kWalkPartMin = 256;
constexpr int kWalkPartsMax = 8;

// Walks all blocks, on up to `threads` threads for a large file: each part
// starts where the index says its first block does, the parts must meet,
// and the last must end at the index. A fault is reported as one walk from
// the start would report it: the first in the file.
void checkBlocks(HILE* h, int threads) {
    const HileHeader& hd = h->header;
    const int32_t blocks = static_cast<int32_t>(blockCount(hd.length));
    if (FileSize(h->file) != hd.indexOffset + 4 * blocks) {
        damaged(h, "file does not end right after the block index");
    }
    const int parts = std::clamp(std::min(threads, blocks / kWalkPartMin), 1, kWalkPartsMax);
    WalkPart w[kWalkPartsMax] = {};
    for (int k = 0; k < parts; ++k) {
        w[k].first = static_cast<int32_t>(int64_t{blocks} * k / parts);
        w[k].end = static_cast<int32_t>(int64_t{blocks} * (k + 1) / parts);
        w[k].start = kHeaderSize;
        if (k == 0) continue;
        uint8_t raw[4];
        if (FileReadAt(h->file, hd.indexOffset + int64_t{4} * w[k].first, 4, raw) != 4) {
            readFailed(h, 4);
        }
        w[k].start = static_cast<int32_t>(get32(raw));
    }
    // The first part reads through the stream's own cache.
    std::unique_ptr<ReadCache> caches[kWalkPartsMax];
    for (int k = 1; k < parts; ++k) {
        caches[k].reset(new (std::nothrow) ReadCache());
        if (caches[k] == nullptr) fatalError("Hopen: out of mem");
    }
    std::thread helpers[kWalkPartsMax];
    for (int k = 1; k < parts; ++k) {
        try {
            helpers[k] = std::thread(walkPart, h, std::ref(*caches[k]), std::ref(w[k]));
        } catch (const std::system_error&) {
            walkPart(h, *caches[k], w[k]);  // no thread to be had: walk it here
        }
    }
    walkPart(h, *h->cache, w[0]);
    for (int k = 1; k < parts; ++k) {
        if (helpers[k].joinable()) helpers[k].join();
    }
    for (int k = 0; k < parts; ++k) {
        if (w[k].fault != nullptr) damaged(h, w[k].fault);
        if (w[k].failedRead != 0) readFailed(h, w[k].failedRead);
        if (k + 1 < parts && w[k].at != w[k + 1].start) {
            damaged(h, "block index does not match the blocks");
        }
    }
    if (w[parts - 1].at != hd.indexOffset) {
        damaged(h, "bytes between the last block and the block index");
    }
    HfileSeek(h, kHeaderSize);
}

void readHeader(HILE* h, int threads) {
    uint8_t raw[kHeaderSize];
    HfileRead(h, raw, kHeaderSize);
    h->header = {get32(raw), static_cast<int32_t>(get32(raw + 4)),
                 static_cast<int32_t>(get32(raw + 8)), get32(raw + 12)};
    if (h->header.magic != kMagic) fatalError("Hopen: not an LZX file");
    // Every block needs at least its bit count, and the index must lie
    // inside the file: otherwise reads would run into the index or past it.
    const HileHeader& hd = h->header;
    int64_t blocks = blockCount(hd.length);
    if ((hd.flags & ~kKnownFlags) != 0 || hd.length < 0 ||
        hd.indexOffset < kHeaderSize + 4 * blocks ||
        hd.indexOffset + 4 * blocks > FileSize(h->file)) {
        fatalError("Hopen: bad header");
    }
    checkBlocks(h, threads);
}

}  // namespace

void HfileSeek(HILE* h, int32_t offset) {
    h->cache->pos = offset;
}

int32_t HfileTell(const HILE* h) {
    return h->cache->pos;
}

void HfileRead(HILE* h, void* buf, int32_t n) {
    if (cacheRead(h->file, *h->cache, static_cast<uint8_t*>(buf), n) != n) readFailed(h, n);
}

// Reads the fields of the block that starts at file offset `start`, where the
// file stands: the row list, the bit count and the code bytes (into `code`).
// The offset is passed in so that reading a block asks the file for its
// position only once.
void ReadBlock(HILE* h, int32_t start, BlockHead& head, uint8_t* code) {
    head.k = 0;
    int64_t at = start;
    if (h->header.flags & kFlagRowSort) {
        uint8_t count = 0;
        HfileRead(h, &count, 1);
        head.k = count;
        HfileRead(h, head.rows, head.k);
        at += 1 + head.k;
    }
    uint8_t raw[4];
    HfileRead(h, raw, 4);
    at += 4;
    head.bits = static_cast<int32_t>(get32(raw));
    if (head.bits < 0 || head.bits > 8 * kCodecBufSize) fatalError("Hfill: bad block size");
    int32_t bytes = (head.bits + 7) / 8;
    if (at + bytes > h->header.indexOffset) {
        fatalError("Hfill: bad block size");
    }
    HfileRead(h, code, bytes);
}

void DecodeBlock(Codec& c, uint32_t flags, const BlockHead& head, const uint8_t* code,
                 uint8_t* out) {
    const int32_t bytes = (head.bits + 7) / 8;
    if (code != c.bitBuf) std::memcpy(c.bitBuf, code, static_cast<size_t>(bytes));
    // The decoders may look ahead, a damaged header even far ahead: let them
    // see zeros, not the previous block. Only what earlier use left beyond
    // this block's bytes needs clearing.
    if (c.bitBufUsed > bytes)
        std::memset(c.bitBuf + bytes, 0, static_cast<size_t>(c.bitBufUsed - bytes));
    c.bitBufUsed = bytes;
    int32_t n = (flags & kFlagHuffman) ? HufUnpack(c, head.bits) : LzxUnpack(c, head.bits);
    if (flags & kFlagRowSort) {
        c.bitBufUsed = static_cast<int32_t>(sizeof c.bitBuf);  // the row data's scratch
        RleUnpack(c, n, c.bitBuf);
        SorUnpack(c, c.bitBuf, out, head.rows, head.k);
    } else {
        RleUnpack(c, n, out);
    }
}

void EncodeBlock(Codec& c, uint32_t flags, const uint8_t* src, BlockHead& head) {
    c.bitBufUsed = static_cast<int32_t>(sizeof c.bitBuf);  // the coders write anywhere in it
    int32_t n;
    head.k = 0;
    if (flags & kFlagRowSort) {
        head.k = SorPack(c, src, c.bitBuf, head.rows);
        n = RlePack(c, c.bitBuf);
    } else {
        n = RlePack(c, src);
    }
    head.bits = (flags & kFlagHuffman)  ? HufPack(c, n)
                : (flags & kEncodeBest) ? LzxPackBest(c, n)
                                        : LzxPack(c, n);
    if (head.bits < 0 || head.bits > 8 * kCodecBufSize) fatalError("Hflus: bad block size");
}

void WriteBlock(HILE* h, const BlockHead& head, const uint8_t* code) {
    uint8_t raw[4];
    put32(raw, static_cast<uint32_t>(DoFtell(h->file)));
    DoFwrite(raw, 4, h->indexFile);
    if (h->header.flags & kFlagRowSort) {
        uint8_t k = static_cast<uint8_t>(head.k);
        DoFwrite(&k, 1, h->file);
        DoFwrite(head.rows, head.k, h->file);
    }
    put32(raw, static_cast<uint32_t>(head.bits));
    DoFwrite(raw, 4, h->file);
    DoFwrite(code, (head.bits + 7) / 8, h->file);
}

namespace {

// True when the buffer is used up and no block follows in the stream.
bool atLastBlock(const HILE* h) {
    return h->position >= kBlockSize &&
           static_cast<int64_t>(h->base) + kBlockSize >= h->header.length;
}

}  // namespace

Codec& codecShared() {
    static Codec codec;
    return codec;
}

HILE* Hopen(const char* name, const char* mode, int threads) {
    HILE* h = static_cast<HILE*>(std::calloc(1, sizeof(HILE)));
    if (h == nullptr) fatalError("Hopen: out of mem");
    HileRegister(h);
    h->codec = static_cast<Codec*>(std::calloc(1, sizeof(Codec)));
    if (h->codec == nullptr) fatalError("Hopen: out of mem");
    if ((mode[0] != 'r' && mode[0] != 'w') || mode[1] != 'b') fatalError("Hopen: bad mode");
    uint32_t flags = 0;
    if (mode[2] == 'h') {
        flags = kFlagHuffman;
    } else if (mode[2] == 's') {
        flags = kFlagRowSort;
    } else if (mode[2] != 0) {
        fatalError("Hopen: bad mode");
    }
    h->mode = mode[0] == 'w' ? 1 : 0;
    h->block = h->buffer;
    if (std::strlen(name) >= kHileNameMax) fatalError("Hopen: filename too long");
    std::strcpy(h->fileName, name);

    if (h->mode == 1) {
        // Both files are new ones beside the target, removed by a fatal end:
        // an existing file of that name is replaced only by a whole container.
        FileCreateBeside(h->file, 1, name);
        FileCreateBeside(h->indexFile, 1, name, true);
        std::strcpy(h->tempName, h->indexFile.name);
        h->header = {kMagic, 0, 0, flags};
        writeHeader(h);
        h->base = 0;
        h->position = 0;
    } else {
        DoFopen(name, "rb", h->file);
        h->cache = static_cast<ReadCache*>(std::calloc(1, sizeof(ReadCache)));
        if (h->cache == nullptr) fatalError("Hopen: out of mem");
        readHeader(h, threads);
        h->base = -kBlockSize;
        h->position = kBlockSize;
    }
    HsetThreads(h, threads);
    return h;
}

void Hflus(HILE* h) {
    if (h->position < kBlockSize) fatalError("Hflus: early");
    if (h->pipe) {
        PipePut(h);
    } else {
        BlockHead head;
        EncodeBlock(*h->codec, EncodeFlags(h), h->block, head);
        WriteBlock(h, head, h->codec->bitBuf);
    }
    h->base += kBlockSize;
    h->position = 0;
}

void Hfill(HILE* h) {
    if (h->position < kBlockSize) fatalError("Hfill: early");
    int64_t next = static_cast<int64_t>(h->base) + kBlockSize;
    int32_t start = 0;
    if (h->pipe) {
        PipeFill(h, next);
    } else if ((start = HfileTell(h)) < h->header.indexOffset) {
        BlockHead head;
        ReadBlock(h, start, head, h->codec->bitBuf);
        DecodeBlock(*h->codec, h->header.flags, head, h->codec->bitBuf, h->buffer);
    } else if (next < h->header.length) {
        // The header promises data that no block holds; the buffer still has
        // the previous block, which must not pass for this one.
        fatalError("Hfill: missing block");
    }
    h->base = static_cast<int32_t>(next);
    h->position = 0;
}

namespace {

bool hasEmptyRow(const uint8_t* block) {
    for (int r = 0; r < kSorRows; ++r) {
        const uint8_t* row = block + r * kSorRowBytes;
        int j = 0;
        while (j < kSorRowBytes && row[j] == 0xFF) ++j;
        if (j == kSorRowBytes) return true;
    }
    return false;
}

}  // namespace

int32_t Hclose(HILE* h) {
    checkHandle(h, "Hclose");
    int32_t result = 0;
    if (h->mode == 1) {
        int32_t length = h->base + h->position;
        if (h->position > 0) {
            std::memset(h->block + h->position, 0, static_cast<size_t>(kBlockSize - h->position));
            // A row-sorted block needs one all-0xFF row. When the zero padding leaves
            // none, pad with 0xFF instead: readers never see the padding, and a
            // short last block must not make the whole stream unwritable.
            if ((h->header.flags & kFlagRowSort) && !hasEmptyRow(h->block)) {
                std::memset(h->block + h->position, 0xFF,
                            static_cast<size_t>(kBlockSize - h->position));
            }
            h->position = kBlockSize;
            Hflus(h);
        }
        if (h->pipe) PipeDrain(h);
        int32_t indexOffset = DoFtell(h->file);
        int32_t indexSize = DoFtell(h->indexFile);
        DoFseek(h->indexFile, 0);
        uint8_t piece[kIndexPiece];
        for (int32_t left = indexSize; left > 0;) {
            int32_t take = left < kIndexPiece ? left : kIndexPiece;
            DoFread(piece, take, h->indexFile);
            DoFwrite(piece, take, h->file);
            left -= take;
        }
        if (!FileDiscard(h->indexFile)) fatalError("Hclose: remove failed");
        result = DoFtell(h->file);
        h->header = {kMagic, indexOffset, length, h->header.flags};
        DoFseek(h->file, 0);
        writeHeader(h);
        if (result != indexOffset + indexSize) fatalError("Hclose: BUG?");
        FileCommit(h->file, h->fileName);
    } else {
        DoFclose(h->file);
    }
    HileRelease(h);
    return result;
}

namespace {

// Points `data` at the stream's next bytes where they lie, at most `most` of
// them and never past the block, and moves past them; 0 at the end.
int32_t nextSpan(HILE* h, int32_t most, const uint8_t** data) {
    for (;;) {
        // At the end no block is decoded, so nothing past the last one is read.
        if (atLastBlock(h)) return 0;
        if (h->position >= kBlockSize) Hfill(h);
        int32_t rest = h->header.length - h->base;
        int32_t valid = rest < kBlockSize ? rest : kBlockSize;
        int32_t take = valid - h->position < most ? valid - h->position : most;
        if (take > 0) {
            *data = h->block + h->position;
            h->position += take;
            return take;
        }
        if (h->base + h->position >= h->header.length) return 0;
    }
}

}  // namespace

int32_t Hread(void* buf, int32_t n, HILE* h) {
    checkHandle(h, "Hread");
    uint8_t* out = static_cast<uint8_t*>(buf);
    int32_t copied = 0;
    const uint8_t* at = nullptr;
    while (n > 0) {
        int32_t take = nextSpan(h, n, &at);
        if (take == 0) break;
        std::memcpy(out + copied, at, static_cast<size_t>(take));
        n -= take;
        copied += take;
        if (h->base + h->position >= h->header.length) break;
    }
    if (n > 0) h->endFlag = 1;
    return copied;
}

int32_t Hspan(HILE* h, int32_t most, const uint8_t** data) {
    checkHandle(h, "Hread");
    if (most <= 0) return 0;
    int32_t take = nextSpan(h, most, data);
    if (take == 0) {
        h->endFlag = 1;
        return 0;
    }
    // Whole blocks that the pipe decoded right after this one go along.
    while (h->pipe && h->position == kBlockSize && most - take >= kBlockSize && PipeNextBeside(h)) {
        Hfill(h);
        int32_t rest = h->header.length - h->base;
        h->position = rest < kBlockSize ? rest : kBlockSize;
        take += h->position;
    }
    return take;
}

void Hwrite(const void* buf, int32_t n, HILE* h) {
    checkHandle(h, "Hwrite");
    if (h->mode != 1) fatalError("Hwrite: not allowed on read-file");
    // The header counts the stream's length in an int32.
    if (n > INT32_MAX - (h->base + h->position)) fatalError("Hwrite: stream too long");
    const uint8_t* in = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        if (h->position >= kBlockSize) Hflus(h);
        int32_t room = kBlockSize - h->position;
        int32_t take = n < room ? n : room;
        std::memcpy(h->block + h->position, in, static_cast<size_t>(take));
        h->position += take;
        in += take;
        n -= take;
    }
}

void Hseek(HILE* h, int32_t offset) {
    checkHandle(h, "Hseek");
    if (h->mode == 1) fatalError("Hseek: not allowed on write-file");
    if (offset >= h->header.length) fatalError("Hseek: >= EOF causes deep shit");
    if (offset < 0) fatalError("Hseek: negative offset");
    // In 64 bits: a fresh handle's base is -16384, and offsets reach 2^31 - 2.
    if (h->base <= offset && static_cast<int64_t>(offset) - h->base < kBlockSize) {
        h->position = offset - h->base;
    } else {
        int32_t b = offset / kBlockSize;
        HfileSeek(h, h->header.indexOffset + 4 * b);
        uint8_t raw[4];
        HfileRead(h, raw, 4);
        int32_t start = static_cast<int32_t>(get32(raw));
        if (start < kHeaderSize || start >= h->header.indexOffset) {
            fatalError("Hseek: bad block index");
        }
        HfileSeek(h, start);
        if (h->pipe) PipeReset(h->pipe);
        h->base = kBlockSize * (b - 1);
        h->position = kBlockSize;
        Hfill(h);
        h->position = offset - h->base;
    }
    h->endFlag = 0;
}

int32_t Htell(HILE* h) {
    checkHandle(h, "Htell");
    return h->base + h->position;
}

int32_t Hgetc(HILE* h) {
    if (atLastBlock(h)) {
        h->endFlag = 1;
        return -1;
    }
    if (h->position >= kBlockSize) Hfill(h);
    if (h->base + h->position >= h->header.length) {
        h->endFlag = 1;
        return -1;
    }
    return h->block[h->position++];
}

int32_t Hputc(int32_t c, HILE* h) {
    if (h->position >= kBlockSize) Hflus(h);
    if (h->base + h->position == INT32_MAX) fatalError("Hputc: stream too long");
    h->block[h->position++] = static_cast<uint8_t>(c);
    return c;
}

int32_t Heof(HILE* h) {
    return h->endFlag;
}
