// Block codec benchmark on a real corpus: every LZX1 mode against zlib,
// libdeflate, zstd and lz4, each given the same 16384-byte blocks, with its
// contexts made once and reused (as a stream coder would), every result
// decoded and compared, rounds interleaved across coders and medians
// reported. Prints Markdown tables with speed ratios to zlib -6 and
// libdeflate -6 measured in the same run. scripts/bench.sh runs it on the
// corpus of scripts/bench_corpus.sh.
//
// Usage: codec_bench [--rounds N] [--only NAME]... KIND=FILE...
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "lzx/codec.h"
#include "lzx/rowsort.h"
#ifdef VORN_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#ifdef VORN_HAVE_ZSTD
#include <zstd.h>
#endif
#ifdef VORN_HAVE_LZ4
#include <lz4.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kBlock = kCodecBlock;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "codec_bench: %s\n", what.c_str());
    std::exit(1);
}

// One block coder. pack returns the coded size (at most bound()); unpack
// returns the number of bytes it restored.
struct Coder {
    std::string name;
    virtual ~Coder() = default;
    virtual size_t bound() const { return 2 * kBlock + 1024; }
    // Row sort needs a row of 64 0xFF bytes in the block.
    virtual bool accepts(const uint8_t*) const { return true; }
    virtual size_t pack(const uint8_t* in, size_t n, uint8_t* out) = 0;
    virtual size_t unpack(const uint8_t* in, size_t n, uint8_t* out) = 0;
};

// --- LZX1 ---------------------------------------------------------------
// A block as the container stores it: [row count, rows] B, ceil(B / 8) bytes.
enum class Mode { lz, huffman, rowSort, best };

uint32_t get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

struct Lzx : Coder {
    Mode mode;
    std::unique_ptr<Codec> c = std::make_unique<Codec>();
    explicit Lzx(Mode m) : mode(m) {
        static const char* kNames[] = {"LZX1 LZ (default)", "LZX1 Huffman-only",
                                       "LZX1 row sort + LZ", "LZX1 --best"};
        name = kNames[static_cast<int>(m)];
    }
    bool accepts(const uint8_t* block) const override {
        if (mode != Mode::rowSort) return true;
        for (int r = 0; r < kSorRows; r++) {
            const uint8_t* row = block + r * kSorRowBytes;
            if (std::all_of(row, row + kSorRowBytes, [](uint8_t b) { return b == 0xFF; }))
                return true;
        }
        return false;
    }
    size_t pack(const uint8_t* in, size_t, uint8_t* out) override {
        Codec& k = *c;
        uint8_t* o = out;
        int32_t n;
        if (mode == Mode::rowSort) {
            int32_t rows = SorPack(k, in, k.bitBuf, o + 1);
            o[0] = static_cast<uint8_t>(rows);
            o += 1 + rows;
            n = RlePack(k, k.bitBuf);
        } else {
            n = RlePack(k, in);
        }
        int32_t bits = mode == Mode::huffman ? HufPack(k, n)
                       : mode == Mode::best  ? LzxPackBest(k, n)
                                             : LzxPack(k, n);
        std::memcpy(o, &bits, 4);
        size_t bytes = static_cast<size_t>(bits + 7) / 8;
        std::memcpy(o + 4, k.bitBuf, bytes);
        return static_cast<size_t>(o + 4 - out) + bytes;
    }
    size_t unpack(const uint8_t* in, size_t, uint8_t* out) override {
        Codec& k = *c;
        const uint8_t* p = in;
        int32_t rows = 0;
        const uint8_t* rowList = nullptr;
        if (mode == Mode::rowSort) {
            rows = p[0];
            rowList = p + 1;
            p += 1 + rows;
        }
        auto bits = static_cast<int32_t>(get32(p));
        size_t bytes = static_cast<size_t>(bits + 7) / 8;
        std::memcpy(k.bitBuf, p + 4, bytes);
        // The stream gives the decoder zeros after the block, not old bytes.
        std::memset(k.bitBuf + bytes, 0, 8);
        int32_t n = mode == Mode::huffman ? HufUnpack(k, bits) : LzxUnpack(k, bits);
        if (mode == Mode::rowSort) {
            RleUnpack(k, n, k.bitBuf);
            SorUnpack(k, k.bitBuf, out, rowList, rows);
        } else {
            RleUnpack(k, n, out);
        }
        return kBlock;
    }
};

// --- Peers, each with one reused context per level ------------------------
// Raw deflate (no zlib or gzip wrapper) for zlib and libdeflate alike, so
// neither pays for a checksum the other skips.
struct Zlib : Coder {
    z_stream d{}, i{};
    explicit Zlib(int level) {
        name = "zlib -" + std::to_string(level);
        if (deflateInit2(&d, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK ||
            inflateInit2(&i, -15) != Z_OK)
            die("zlib init failed");
    }
    ~Zlib() override {
        deflateEnd(&d);
        inflateEnd(&i);
    }
    size_t pack(const uint8_t* in, size_t n, uint8_t* out) override {
        deflateReset(&d);
        d.next_in = const_cast<uint8_t*>(in);
        d.avail_in = static_cast<uInt>(n);
        d.next_out = out;
        d.avail_out = static_cast<uInt>(bound());
        if (deflate(&d, Z_FINISH) != Z_STREAM_END) die(name + ": deflate failed");
        return bound() - d.avail_out;
    }
    size_t unpack(const uint8_t* in, size_t n, uint8_t* out) override {
        inflateReset(&i);
        i.next_in = const_cast<uint8_t*>(in);
        i.avail_in = static_cast<uInt>(n);
        i.next_out = out;
        i.avail_out = kBlock;
        if (inflate(&i, Z_FINISH) != Z_STREAM_END) die(name + ": inflate failed");
        return kBlock - i.avail_out;
    }
};

#ifdef VORN_HAVE_LIBDEFLATE
struct Libdeflate : Coder {
    libdeflate_compressor* c;
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    explicit Libdeflate(int level) : c(libdeflate_alloc_compressor(level)) {
        name = "libdeflate -" + std::to_string(level);
        if (!c || !d) die("libdeflate init failed");
    }
    ~Libdeflate() override {
        libdeflate_free_compressor(c);
        libdeflate_free_decompressor(d);
    }
    size_t pack(const uint8_t* in, size_t n, uint8_t* out) override {
        size_t r = libdeflate_deflate_compress(c, in, n, out, bound());
        if (r == 0) die(name + ": compress failed");
        return r;
    }
    size_t unpack(const uint8_t* in, size_t n, uint8_t* out) override {
        size_t got = 0;
        if (libdeflate_deflate_decompress(d, in, n, out, kBlock, &got) != LIBDEFLATE_SUCCESS)
            die(name + ": decompress failed");
        return got;
    }
};
#endif

#ifdef VORN_HAVE_ZSTD
struct Zstd : Coder {
    int level;
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_DCtx* d = ZSTD_createDCtx();
    explicit Zstd(int l) : level(l) { name = "zstd -" + std::to_string(l); }
    ~Zstd() override {
        ZSTD_freeCCtx(c);
        ZSTD_freeDCtx(d);
    }
    size_t pack(const uint8_t* in, size_t n, uint8_t* out) override {
        size_t r = ZSTD_compressCCtx(c, out, bound(), in, n, level);
        if (ZSTD_isError(r)) die(name + ": compress failed");
        return r;
    }
    size_t unpack(const uint8_t* in, size_t n, uint8_t* out) override {
        size_t r = ZSTD_decompressDCtx(d, out, kBlock, in, n);
        if (ZSTD_isError(r)) die(name + ": decompress failed");
        return r;
    }
};
#endif

#ifdef VORN_HAVE_LZ4
struct Lz4 : Coder {
    std::vector<char> state = std::vector<char>(static_cast<size_t>(LZ4_sizeofState()));
    Lz4() { name = "lz4"; }
    size_t pack(const uint8_t* in, size_t n, uint8_t* out) override {
        int r = LZ4_compress_fast_extState(state.data(), reinterpret_cast<const char*>(in),
                                           reinterpret_cast<char*>(out), static_cast<int>(n),
                                           static_cast<int>(bound()), 1);
        if (r <= 0) die("lz4: compress failed");
        return static_cast<size_t>(r);
    }
    size_t unpack(const uint8_t* in, size_t n, uint8_t* out) override {
        int r = LZ4_decompress_safe(reinterpret_cast<const char*>(in), reinterpret_cast<char*>(out),
                                    static_cast<int>(n), kBlock);
        if (r < 0) die("lz4: decompress failed");
        return static_cast<size_t>(r);
    }
};
#endif

// --- Measurement ------------------------------------------------------------
struct Kind {
    std::string name;
    Bytes data;  // whole blocks only
    size_t blocks() const { return data.size() / kBlock; }
};

struct Sample {
    double pack = 0, unpack = 0;  // seconds
};

struct Result {
    size_t inBytes = 0, outBytes = 0;  // blocks the coder accepts
    std::vector<Sample> rounds;
};

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Packs and unpacks every accepted block of a kind once; checks the round trip.
Sample runOnce(Coder& coder, const Kind& kind, Bytes& packed, std::vector<size_t>& ends,
               Bytes& restored, Result& res) {
    size_t nb = kind.blocks();
    const uint8_t* src = kind.data.data();
    std::vector<size_t> which;
    for (size_t b = 0; b < nb; b++)
        if (coder.accepts(src + b * kBlock)) which.push_back(b);
    ends.assign(which.size(), 0);
    Sample s;
    auto t0 = Clock::now();
    size_t at = 0;
    for (size_t k = 0; k < which.size(); k++) {
        at += coder.pack(src + which[k] * kBlock, kBlock, packed.data() + at);
        ends[k] = at;
    }
    auto t1 = Clock::now();
    size_t from = 0;
    for (size_t k = 0; k < which.size(); k++) {
        size_t got =
            coder.unpack(packed.data() + from, ends[k] - from, restored.data() + which[k] * kBlock);
        if (got != kBlock) die(coder.name + ": block of wrong size");
        from = ends[k];
    }
    auto t2 = Clock::now();
    for (size_t b : which)
        if (std::memcmp(src + b * kBlock, restored.data() + b * kBlock, kBlock) != 0)
            die(coder.name + ": " + kind.name + " block " + std::to_string(b) +
                " does not round-trip");
    s.pack = seconds(t0, t1);
    s.unpack = seconds(t1, t2);
    res.inBytes = which.size() * kBlock;
    res.outBytes = at;
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

struct Row {
    size_t in = 0, out = 0;
    double pack = 0, unpack = 0;  // median seconds
};

// Medians of one kind, or of the per-round sums over all kinds ("all").
Row summarise(const std::vector<Result>& perKind, size_t rounds) {
    Row r;
    std::vector<double> p(rounds), u(rounds);
    for (const Result& res : perKind) {
        r.in += res.inBytes;
        r.out += res.outBytes;
        for (size_t i = 0; i < rounds; i++) {
            p[i] += res.rounds[i].pack;
            u[i] += res.rounds[i].unpack;
        }
    }
    r.pack = median(p);
    r.unpack = median(u);
    return r;
}

void printTable(const std::string& title, const std::vector<std::unique_ptr<Coder>>& coders,
                const std::vector<Row>& rows) {
    auto find = [&](const char* name) -> const Row* {
        for (size_t i = 0; i < coders.size(); i++)
            if (coders[i]->name == name && rows[i].in) return &rows[i];
        return nullptr;
    };
    const Row* zlib = find("zlib -6");
    const Row* ld = find("libdeflate -6");
    auto mbs = [](size_t bytes, double s) { return s > 0 ? bytes / s / 1e6 : 0.0; };
    std::printf("\n### %s (%.1f MB)\n\n", title.c_str(), rows[0].in / 1e6);
    std::printf(
        "| coder | size %% | comp MB/s | decomp MB/s | comp × zlib-6 | decomp × zlib-6 |"
        " comp × libdeflate-6 | decomp × libdeflate-6 | size × zlib-6 |\n"
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (size_t i = 0; i < coders.size(); i++) {
        const Row& r = rows[i];
        if (!r.in) continue;
        double cp = mbs(r.in, r.pack), dp = mbs(r.in, r.unpack);
        std::printf("| %s%s | %.2f | %.1f | %.1f |", coders[i]->name.c_str(),
                    r.in != rows[0].in ? " (blocks with an empty row)" : "", 100.0 * r.out / r.in,
                    cp, dp);
        auto ratio = [&](const Row* peer, bool pack) {
            if (!peer || peer->in != r.in) return std::printf(" – |");
            double mine = pack ? cp : dp;
            double theirs = pack ? mbs(peer->in, peer->pack) : mbs(peer->in, peer->unpack);
            return std::printf(" %.2f |", mine / theirs);
        };
        ratio(zlib, true);
        ratio(zlib, false);
        ratio(ld, true);
        ratio(ld, false);
        if (zlib && zlib->in == r.in)
            std::printf(" %.3f |\n", static_cast<double>(r.out) / static_cast<double>(zlib->out));
        else
            std::printf(" – |\n");
    }
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) die("cannot read " + path);
    Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    size_t rounds = 5;
    std::vector<std::string> only;
    std::vector<Kind> kinds;
    for (int a = 1; a < argc; a++) {
        std::string arg = argv[a];
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "usage: codec_bench [--rounds N] [--only NAME]... KIND=FILE...\n"
                "Codes each file in 16384-byte blocks with every coder, checks the round trip,\n"
                "and prints median speeds and sizes as Markdown tables. --only keeps the\n"
                "coders whose name contains NAME (zlib -6 and libdeflate -6 always stay).\n");
            return 0;
        }
        if (arg == "--only" && a + 1 < argc) {
            only.push_back(argv[++a]);
            continue;
        }
        if (arg == "--rounds" && a + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++a]));
            continue;
        }
        size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) die("expected KIND=FILE, got " + arg);
        Kind k{arg.substr(0, eq), readFile(arg.substr(eq + 1))};
        k.data.resize(k.blocks() * kBlock);
        if (k.data.empty()) die(arg + ": shorter than one block");
        kinds.push_back(std::move(k));
    }
    if (kinds.empty()) die("no corpus given (try --help)");

    std::vector<std::unique_ptr<Coder>> coders;
    coders.push_back(std::make_unique<Lzx>(Mode::lz));
    coders.push_back(std::make_unique<Lzx>(Mode::huffman));
    coders.push_back(std::make_unique<Lzx>(Mode::rowSort));
    coders.push_back(std::make_unique<Lzx>(Mode::best));
    for (int l : {1, 6, 9}) coders.push_back(std::make_unique<Zlib>(l));
#ifdef VORN_HAVE_LIBDEFLATE
    for (int l : {1, 6, 12}) coders.push_back(std::make_unique<Libdeflate>(l));
#endif
#ifdef VORN_HAVE_ZSTD
    for (int l : {1, 3, 19}) coders.push_back(std::make_unique<Zstd>(l));
#endif
#ifdef VORN_HAVE_LZ4
    coders.push_back(std::make_unique<Lz4>());
#endif

    if (!only.empty()) {
        std::erase_if(coders, [&](const std::unique_ptr<Coder>& c) {
            if (c->name == "zlib -6" || c->name == "libdeflate -6") return false;
            for (const std::string& o : only)
                if (c->name.find(o) != std::string::npos) return false;
            return true;
        });
    }
    size_t most = 0;
    for (const Kind& k : kinds) most = std::max(most, k.data.size());
    Bytes packed(most / kBlock * coders[0]->bound());
    Bytes restored(most);
    std::vector<size_t> ends;
    // results[coder][kind]
    std::vector<std::vector<Result>> results(coders.size(), std::vector<Result>(kinds.size()));
    for (size_t r = 0; r < rounds; r++) {
        // Each round starts with a different coder, so no coder always runs
        // on a cold cache or right after the same neighbour.
        for (size_t j = 0; j < coders.size(); j++) {
            size_t ci = (j + r) % coders.size();
            for (size_t ki = 0; ki < kinds.size(); ki++) {
                Result& res = results[ci][ki];
                res.rounds.push_back(runOnce(*coders[ci], kinds[ki], packed, ends, restored, res));
            }
        }
        std::fprintf(stderr, "round %zu of %zu done\n", r + 1, rounds);
    }

    std::printf(
        "Median of %zu interleaved rounds; MB = 10^6 bytes of uncompressed data; "
        "size %% = coded bytes / input bytes; every block decoded and compared.\n",
        rounds);
    std::vector<Row> rows(coders.size());
    for (size_t ci = 0; ci < coders.size(); ci++) rows[ci] = summarise(results[ci], rounds);
    printTable("all kinds", coders, rows);
    for (size_t ki = 0; ki < kinds.size(); ki++) {
        for (size_t ci = 0; ci < coders.size(); ci++)
            rows[ci] = summarise({results[ci][ki]}, rounds);
        printTable(kinds[ki].name, coders, rows);
    }
    return 0;
}
