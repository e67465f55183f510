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
constexpr int kMaxCodeLen = 24;                       // longest Huffman code
constexpr int kLenCodeCount = 27;                     // alphabet of the length header
constexpr int kLookupBits = 10;                       // codes up to this length decode by table
constexpr int kDecodeRootBits = 11;                   // root of the decoders' two-level table
constexpr int32_t kMaxBlockBits = 8 * kCodecBufSize;  // largest bit count B a block can hold
constexpr int32_t kPackedBitsMax = 262112;            // packers refuse padded streams above this
constexpr int kLzSymbols = 400;                       // 256 literals + 144 reference symbols
constexpr int kLzHashBits = 14;  // match finder's hash: equal 4-byte prefixes share a chain
constexpr int kLzHashSize = 1 << kLzHashBits;
constexpr int kLzWindow = 1024;   // farthest distance the packer uses
constexpr int kLzMinMatch = 4;    // shortest match the packer uses
constexpr int kLzMaxMatch = 256;  // longest match the packer uses

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
    union {
        // A block's coded bits; padded so the bit reader may look past the end.
        alignas(8) uint8_t bitBuf[kCodecBufSize + 8];
        // LZ match finder: the newest position per hash value, -1 for none.
        // Needed only while LzxPack parses a block, before the first bit of
        // it is written, so it shares the bit buffer's memory.
        int16_t hashHead[kLzHashSize];
    };
    int32_t bitPos;
    // DecodeBlock: bytes at the start of bitBuf that may be nonzero; all
    // after them are zero. A zeroed context starts right.
    int32_t bitBufUsed;
    // Huffman machinery: symbol table, length-code table, lookup, tree pool.
    FresTable symbols;
    FresTable lengthCodes;
    uint16_t lookup[1024];
    // The tree pool serves only the packers; the decoders' fast tables live in
    // the same memory, so decoding needs no more room than packing.
    union {
        TreeNode nodes[2 * kFresMax - 1];
        struct {
            // Twin of `lookup`: code length in bits 0..5 and symbol in bits
            // 6..14, so one load yields both; 0 where `lookup` holds kFresMax.
            uint16_t lookupLen[1024];
        } fast;
    };
    // Row-sort work copy and flags.
    uint8_t rowMatrix[kCodecBlock];
    uint8_t rowFlags[256];
    // Tree builder's queue of merged nodes.
    uint16_t workList[kFresMax];
    union {
        // LZ coder: a whole block of items is buffered so that the Huffman
        // code can be built from the block's own counts before any bit is
        // written.
        uint32_t items[kCodecBlock];
        // The decoders' two-level table (MakeDecodeTable), in the same
        // memory: packing and unpacking never overlap.
        uint32_t decodeTable[kCodecBlock];
    };
    int32_t itemCount;
    // LZ match finder: the previous position with the same hash for every
    // position, -1 for none.
    int16_t chain[kCodecBlock];
};

static_assert(sizeof(Codec::hashHead) <= sizeof(Codec::bitBuf));

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
// The decoders' table of `t` in c.decodeTable: 2^kDecodeRootBits root
// entries, then subtables for the longer codes (lzx_bits has the layout).
// Sets the codes of `t` as LenToVal does; the lengths must pass RecvLens'
// check that they claim no more code space than there is. Pairs of short
// literal codes share one root entry when they would fill at least
// `minPairSlots` of its entries; returns whether it built them.
bool MakeDecodeTable(Codec& c, FresTable& t, int32_t minPairSlots = 0);
void SendLens(Codec& c, const FresTable& t);
void RecvLens(Codec& c, FresTable& t, int32_t n);
// Steps of FresLengths and the slow decoding paths, open for tests.
void FresSort(FresTable& t);
int32_t TreeBuild(Codec& c, FresTable& t);  // returns the node count 2 * used - 1
void TreeToLen(Codec& c, FresTable& t, int32_t node, int32_t depth);
int32_t DecodeLong(const FresTable& t, uint32_t bits);  // codes longer than kLookupBits
int32_t UnCode(const FresTable& t, uint32_t bits);      // any code of the table

// Entropy coders over byteBuf <-> bitBuf. Pack returns the bit count B;
// Unpack takes B and returns the number of bytes written to byteBuf.
int32_t LzxPack(Codec& c, int32_t n);
int32_t LzxUnpack(Codec& c, int32_t bits);
// The same format, smaller and much slower: lengths 3..258, distances over
// the whole block, an optimal parse. For vendors packing once.
int32_t LzxPackBest(Codec& c, int32_t n);
int32_t HufPack(Codec& c, int32_t n);
int32_t HufUnpack(Codec& c, int32_t bits);
// Steps of the LZ coder, open for tests. l = length - 3, d = distance - 1.
void HufOutLit(Codec& c, uint8_t byte);
void HufOutRef(Codec& c, int32_t l, int32_t d);
// Longest match at i of at least kLzMinMatch bytes (shorter: some value below it).
int32_t FindMatch(const Codec& c, int32_t i, int32_t m, int32_t& distance);
void EmitItems(Codec& c);
int32_t DecodeItem(Codec& c, int32_t& l, int32_t& d);  // returns the symbol; l, d for references

// RLE: src (16384 bytes) -> byteBuf; returns n (16384 = raw copy).
int32_t RlePack(Codec& c, const uint8_t* src);
// byteBuf (n bytes) -> dst (16384 bytes).
void RleUnpack(Codec& c, int32_t n, uint8_t* dst);

// Row sort of 64-byte rows; returns k, the number of rows in rowList.
int32_t SorPack(Codec& c, const uint8_t* src, uint8_t* dst, uint8_t* rowList);
void SorUnpack(Codec& c, const uint8_t* src, uint8_t* dst, const uint8_t* rowList, int32_t k);
