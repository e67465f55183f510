// Compression library: the LZX1 block-compressed stream (HILE) and the
// archive operations built on it. Every failure ends the process through
// fatalError; nothing returns an error code.
#pragma once

#include <cstdint>

#include "fileio/fileio.h"

constexpr int32_t kBlockSize = 16384;
// Container and index-file names reach the file layer's own limit.
constexpr int kHileNameMax = kFileNameMax;  // a container name is shorter than this
constexpr int kHileTempMax = kFileNameMax;  // an index-file name is shorter than this

struct HileHeader {
    uint32_t magic;       // "LZX1"
    int32_t indexOffset;  // file offset of the block index
    int32_t length;       // uncompressed bytes in the stream
    uint32_t flags;       // kFlagHuffman | kFlagRowSort
};

constexpr uint32_t kFlagHuffman = 1;
constexpr uint32_t kFlagRowSort = 2;

struct Codec;
struct BlockPipe;
struct ReadCache;

struct HILE {
    int32_t mode;  // 0 = reading, 1 = writing
    char fileName[kHileNameMax];
    char tempName[kHileTempMax];
    FileRec file;
    FileRec indexFile;
    HileHeader header;
    uint8_t buffer[kBlockSize];
    int32_t base;
    int32_t position;
    int32_t endFlag;
    Codec* codec;      // this stream's own codec work memory
    BlockPipe* pipe;   // workers that code blocks ahead, or null (blocks.cpp)
    ReadCache* cache;  // reading: the file read in large pieces (stream.cpp)
    // Writing: LZ blocks by the slower packer that gives smaller blocks in
    // the same format (lzx --best). Never set by default.
    int32_t packBest;
    // The bytes of the block being read or written: `buffer`, or with more
    // than one thread a slot of the pipe, which then needs no copy.
    uint8_t* block;
};

// Reading: the blocks are walked at the open and must be exactly those that
// the block index names, back to back up to it, so every reader, sequential
// or seeking, sees the same bytes; anything else is a damaged file (fatal).
// Writing: the container and its block index are written to new files
// beside `name`; Hclose renames the container over `name` when it is
// complete, and a failure before that leaves `name` as it was.
// `threads` > 1 is HsetThreads right after the open, and a large file's
// walk is shared among that many threads.
HILE* Hopen(const char* name, const char* mode, int threads = 1);
int32_t Hclose(HILE* h);
int32_t Hread(void* buf, int32_t n, HILE* h);
// Reading without a copy: points *data at up to `most` of the stream's next
// bytes where they lie (the rest of the block, and whole blocks decoded right
// after it) and moves past them. Valid until the next call on the stream;
// 0 at the end.
int32_t Hspan(HILE* h, int32_t most, const uint8_t** data);
void Hwrite(const void* buf, int32_t n, HILE* h);
void Hseek(HILE* h, int32_t offset);
int32_t Htell(HILE* h);
int32_t Hgetc(HILE* h);
int32_t Hputc(int32_t c, HILE* h);
int32_t Heof(HILE* h);
// Internal steps of the stream, exposed for tests: decode the next block into
// the used-up buffer; code the full buffer as a block.
void Hfill(HILE* h);
void Hflus(HILE* h);

// Codes the blocks of the stream on `threads` threads (each with its own codec
// context), in batches; the file is the same byte for byte. 1 (the default)
// codes on the calling thread. Call right after Hopen, or pass the count to
// Hopen.
void HsetThreads(HILE* h, int threads);

// For callers that survive a failure (a library call under FatalThrowScope).
// Habandon ends a stream without finishing it: its files are closed, a
// write stream's index file and unfinished container are removed, its memory
// is freed. HileMark/HabandonSince do the same for every stream that this
// thread opened since the mark and has not closed, such as the stream inside
// a failed UnPackLZX.
void Habandon(HILE* h);
uint64_t HileMark();
void HabandonSince(uint64_t mark);
bool HileIsLive(const HILE* h);

// File access of the library: record size 1, short counts are fatal.
// Modes of DoFopen: "rb", "wb", "w+b" (an empty file for reading and writing).
void DoFopen(const char* name, const char* mode, FileRec& rec);
void DoFread(void* buf, int32_t n, FileRec& rec);
void DoFwrite(const void* buf, int32_t n, FileRec& rec);
void DoFseek(FileRec& rec, int32_t offset);
int32_t DoFtell(FileRec& rec);
void DoFclose(FileRec& rec);

// Archive entry record, 432 bytes, little-endian.
struct LzxEntry {
    char name[256];
    int32_t size;
    int32_t version;
    int32_t status;  // in a list of installed files: 1 added, 2 replaced, 3 kept
    int32_t scramble;
    int32_t deleteAfter;
    int32_t existingOnly;
    int32_t languages;
    int32_t productVersions;
    uint8_t reserved[144];
};
static_assert(sizeof(LzxEntry) == 432, "LzxEntry is a 432-byte file record");

// Options of UnPackLZX.
// Lets entries land outside the target ("..", absolute names, names without
// "#" beside a target, links inside the target): for archives one trusts.
constexpr uint32_t kUnpackUnsafePaths = 1;

// Every file is written beside its target path and renamed over it when it
// is complete; each entry's target is checked at that moment (see
// ArchiveTargetPath in archive.h).
int32_t UnPackLZX(const char* source, const char* target, LzxEntry* list, int32_t capacity,
                  int32_t force, int32_t languages, int32_t productVersions, uint32_t options = 0);
// best != 0 packs with the slower, smaller LZ packer (lzx pack --best).
int32_t PackLZX(const char* listFile, int32_t* totalOut, int32_t* packedOut, LzxEntry* list,
                int32_t capacity, int32_t best = 0);
