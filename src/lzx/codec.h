// Block codecs of the LZX1 stream: bit stream and canonical Huffman codes,
// the LZ and Huffman-only entropy coders, RLE and the row sort.
//
// All work memory of one block lives in a Codec context (the byte buffer and
// bit buffer of 32768 bytes each, the bit position, the Huffman tables), so
// the codecs can be tested in isolation. The stream uses one shared context.
#pragma once

#include <cstdint>

constexpr int32_t kCodecBufSize = 32768;
constexpr int32_t kCodecBlock = 16384;
constexpr int kFresMax = 512;

struct FresTable {
    int32_t count;
    uint32_t freq[kFresMax];
    int32_t used;
    uint8_t len[kFresMax];
    int32_t code[kFresMax];
};

struct TreeNode {
    uint16_t weight, self, left, right;
};

struct Codec {
    // Bytes consumed by the entropy coders on packing, produced on unpacking.
    alignas(8) uint8_t byteBuf[kCodecBufSize];
    // A block's coded bits; padded so the bit reader may look past the end.
    alignas(8) uint8_t bitBuf[kCodecBufSize + 8];
    int32_t bitPos;
    // Huffman machinery: symbol table, length-code table, lookup, tree pool.
    FresTable symbols;
    FresTable lengthCodes;
    uint16_t lookup[1024];
    TreeNode nodes[2 * kFresMax - 1];
    // Row-sort work copy and flags.
    uint8_t rowMatrix[kCodecBlock];
    uint8_t rowFlags[256];
    // Further work state of the LZ coder (hash chains, items) is added by the
    // coders as they need it; see lz.cpp.
};

// The stream's shared codec context.
Codec& codecShared();

// Bit stream.
void BitPut(Codec& c, int n, uint32_t value);
uint32_t BitPeek(const Codec& c);
void BitSkip(Codec& c, int n);
uint32_t BitGet(Codec& c, int n);

// Frequency tables and canonical codes.
void FresInit(FresTable& t, int32_t n);
void FresLengths(Codec& c, FresTable& t);
void LenToVal(FresTable& t);
void MakeLookup(Codec& c, const FresTable& t);
int32_t DecodeSym(Codec& c, const FresTable& t);
void SendLens(Codec& c, const FresTable& t);
void RecvLens(Codec& c, FresTable& t, int32_t n);

// Entropy coders over byteBuf <-> bitBuf. Pack returns the bit count B;
// Unpack takes B and returns the number of bytes written to byteBuf.
int32_t LzxPack(Codec& c, int32_t n);
int32_t LzxUnpack(Codec& c, int32_t bits);
int32_t HufPack(Codec& c, int32_t n);
int32_t HufUnpack(Codec& c, int32_t bits);

// RLE: src (16384 bytes) -> byteBuf; returns n (16384 = raw copy).
int32_t RlePack(Codec& c, const uint8_t* src);
// byteBuf (n bytes) -> dst (16384 bytes).
void RleUnpack(Codec& c, int32_t n, uint8_t* dst);

// Row sort of 64-byte rows; returns k, the number of rows in rowList.
int32_t SorPack(Codec& c, const uint8_t* src, uint8_t* dst, uint8_t* rowList);
void SorUnpack(Codec& c, const uint8_t* src, uint8_t* dst, const uint8_t* rowList, int32_t k);
