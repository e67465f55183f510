// Block codec speed against zlib on the same 16384-byte blocks. Run through
// scripts/bench.sh, which prints each of our codecs as a ratio to zlib.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "lzx/codec.h"

namespace {

constexpr int kBlocks = 64;  // 1 MiB of input per iteration

// Text like the game's help files, and image-like rows like its card bitmaps.
std::vector<uint8_t> makeCorpus(bool text) {
    static const char* kWords[] = {"kaart",    "troef", "slag",     "bieden", "pas",
                                   "doublet",  "the",   "card",     "trick",  "bid",
                                   "partner",  "leads", "schoppen", "harten", "ruiten",
                                   "klaveren", "sans",  "atout",    "\r\n",   ", "};
    std::mt19937 rng(1234);
    std::vector<uint8_t> out;
    out.reserve(kBlocks * kCodecBlock);
    while (out.size() < size_t(kBlocks) * kCodecBlock) {
        if (text) {
            const char* w = kWords[rng() % 20];
            out.insert(out.end(), w, w + std::strlen(w));
            out.push_back(' ');
        } else {
            // A 64-pixel row: runs of a few palette colours with noise.
            uint8_t colour = uint8_t(rng() % 16);
            for (int i = 0; i < 64; ++i) {
                if (rng() % 8 == 0) colour = uint8_t(rng() % 16);
                out.push_back(colour);
            }
        }
    }
    out.resize(size_t(kBlocks) * kCodecBlock);
    return out;
}

const std::vector<uint8_t>& corpus(int kind) {
    static std::vector<uint8_t> text = makeCorpus(true), image = makeCorpus(false);
    return kind == 0 ? text : image;
}

// Packed blocks of one coder, so the decoders see real input.
struct Packed {
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<int32_t> bits;
};

template <typename Pack>
int32_t packBlock(Codec& c, const uint8_t* src, Pack pack) {
    int32_t n = RlePack(c, src);
    return pack(c, n);
}

void BM_Pack(benchmark::State& state, bool huffman) {
    static Codec codec;
    const auto& data = corpus(int(state.range(0)));
    size_t packed = 0;
    for (auto _ : state) {
        packed = 0;
        for (int b = 0; b < kBlocks; ++b) {
            int32_t bits =
                packBlock(codec, data.data() + b * kCodecBlock, huffman ? HufPack : LzxPack);
            packed += size_t(bits + 7) / 8 + 4;
        }
        benchmark::DoNotOptimize(codec.bitBuf);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["ratio"] = double(packed) / double(data.size());
}

void BM_Unpack(benchmark::State& state, bool huffman) {
    static Codec codec;
    static uint8_t out[kCodecBlock];
    const auto& data = corpus(int(state.range(0)));
    Packed p;
    for (int b = 0; b < kBlocks; ++b) {
        int32_t bits = packBlock(codec, data.data() + b * kCodecBlock, huffman ? HufPack : LzxPack);
        p.blocks.emplace_back(codec.bitBuf, codec.bitBuf + (bits + 7) / 8);
        p.bits.push_back(bits);
    }
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b) {
            std::memcpy(codec.bitBuf, p.blocks[b].data(), p.blocks[b].size());
            int32_t n = huffman ? HufUnpack(codec, p.bits[b]) : LzxUnpack(codec, p.bits[b]);
            RleUnpack(codec, n, out);
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

void BM_ZlibPack(benchmark::State& state) {
    const auto& data = corpus(int(state.range(0)));
    std::vector<uint8_t> out(compressBound(kCodecBlock));
    size_t packed = 0;
    for (auto _ : state) {
        packed = 0;
        for (int b = 0; b < kBlocks; ++b) {
            uLongf len = uLongf(out.size());
            compress2(out.data(), &len, data.data() + b * kCodecBlock, kCodecBlock, 6);
            packed += len;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["ratio"] = double(packed) / double(data.size());
}

void BM_ZlibUnpack(benchmark::State& state) {
    const auto& data = corpus(int(state.range(0)));
    std::vector<std::vector<uint8_t>> blocks;
    for (int b = 0; b < kBlocks; ++b) {
        std::vector<uint8_t> out(compressBound(kCodecBlock));
        uLongf len = uLongf(out.size());
        compress2(out.data(), &len, data.data() + b * kCodecBlock, kCodecBlock, 6);
        out.resize(len);
        blocks.push_back(std::move(out));
    }
    static uint8_t out[kCodecBlock];
    for (auto _ : state) {
        for (auto& block : blocks) {
            uLongf len = kCodecBlock;
            uncompress(out, &len, block.data(), uLong(block.size()));
        }
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

// Argument 0: text corpus, 1: image corpus.
BENCHMARK_CAPTURE(BM_Pack, lz, false)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_Pack, huffman, true)->Arg(0)->Arg(1);
BENCHMARK(BM_ZlibPack)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_Unpack, lz, false)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_Unpack, huffman, true)->Arg(0)->Arg(1);
BENCHMARK(BM_ZlibUnpack)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
