// The steps of one block of the LZX1 stream, shared by the stream's own
// one-block-at-a-time path and by the pipe that codes many blocks at once on
// worker threads, and the bookkeeping of live streams.
#pragma once

#include <cstdint>

#include "lzx/lzx.h"

struct Codec;

// A block's fields besides its code bytes.
struct BlockHead {
    int32_t bits;       // code length B
    int32_t k;          // row count (row-sort streams only)
    uint8_t rows[256];  // row list
};

// The container file of a reading stream, through its read cache: a few
// large reads instead of several small ones per block.
void HfileSeek(HILE* h, int32_t offset);
int32_t HfileTell(const HILE* h);
void HfileRead(HILE* h, void* buf, int32_t n);  // all n bytes, or fatal

// Reads the fields of the block at file offset `start` (where the file
// stands): row list, bit count, code bytes into `code` (kCodecBufSize bytes).
void ReadBlock(HILE* h, int32_t start, BlockHead& head, uint8_t* code);
// Decodes one block into `out` (kBlockSize bytes). `code` may be c.bitBuf.
void DecodeBlock(Codec& c, uint32_t flags, const BlockHead& head, const uint8_t* code,
                 uint8_t* out);
// EncodeBlock's flags: the header's, and kEncodeBest (never stored in a
// header) when LZ blocks go through the slower, smaller packer.
constexpr uint32_t kEncodeBest = 1u << 16;
inline uint32_t EncodeFlags(const HILE* h) {
    return h->header.flags | (h->packBest ? kEncodeBest : 0);
}
// Codes the kBlockSize bytes at `src`; the code bytes are left in c.bitBuf.
void EncodeBlock(Codec& c, uint32_t flags, const uint8_t* src, BlockHead& head);
// Appends a coded block to the container and its start to the index file.
void WriteBlock(HILE* h, const BlockHead& head, const uint8_t* code);

// Pipe of a stream with more than one thread (HsetThreads).
BlockPipe* PipeCreate(HILE* h, int threads);
void PipeFree(BlockPipe* p);
// Write side: takes the full buffer; codes and writes a whole batch once it
// is full. PipeDrain codes and writes what is queued.
void PipePut(HILE* h);
void PipeDrain(HILE* h);
// Read side: puts the block that starts at stream offset `next` into the
// buffer, decoding a batch ahead from the file position when it has none.
void PipeFill(HILE* h, int64_t next);
// Read side: whether the block after the one in the buffer is decoded and
// lies right after it in memory, so that serving it leaves both in place.
bool PipeNextBeside(const HILE* h);
// Forgets the blocks read ahead (the file position moved).
void PipeReset(BlockPipe* p);

// Live streams, so a failed call can free the ones it left open.
void HileRegister(HILE* h);
// Unregisters, frees the codec and pipe, clears and frees the record.
void HileRelease(HILE* h);
