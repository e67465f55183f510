// The LZ coder's slow, small mode (lzx --best): the same block format as
// LzxPack, readable by every decoder, but with all that the decoder accepts
// (lengths 3..258, distances over the whole block) and an optimal parse
// instead of the greedy one. The parse is the cheapest path through the
// block under a bit-cost model; the model starts from the block's byte
// counts and is then taken from the Huffman code of the previous parse, a
// few times over. Work memory is allocated per call, so several threads may
// pack at once with their own Codec.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "base/error.h"
#include "lzx/codec.h"

namespace {

constexpr int kMinLen = 3;
constexpr int kMaxLen = 258;
constexpr int kHashBits = 15;
constexpr int kChainDepth = 128;  // candidates looked at per position
constexpr int kNiceLen = 64;      // a match this long cuts the lengths tried
constexpr int kPasses = 4;        // parses, each with the code of the one before
constexpr int kMaxPerPos = 12;    // length steps kept per position

struct Match {
    uint16_t len, dist;
};

// Per call: chains over the whole block, every position's matches (for
// each longer length, the nearest distance that reaches it), the costs.
struct Work {
    int32_t head[1 << kHashBits];
    int32_t prev[kCodecBlock];
    int32_t first[kCodecBlock + 1];  // matches of position i: first[i]..first[i+1]
    Match matches[kCodecBlock * kMaxPerPos];
    uint32_t cost[kCodecBlock + 1];  // cheapest bits to reach each position, scaled
    int32_t from[kCodecBlock + 1];   // the step that reaches it: length, 1 for a literal
    uint16_t fromDist[kCodecBlock + 1];
    uint32_t symCost[kLzSymbols];  // bits per symbol code, scaled by kScale
};

constexpr uint32_t kScale = 16;  // costs in sixteenths of a bit

inline uint32_t hash3(const uint8_t* b) {
    uint32_t v = b[0] | b[1] << 8 | b[2] << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

void findMatches(const uint8_t* b, int32_t n, Work& w) {
    std::fill(w.head, w.head + (1 << kHashBits), -1);
    int32_t count = 0;
    for (int32_t i = 0; i < n; i++) {
        w.first[i] = count;
        if (n - i < kMinLen) continue;
        uint32_t h = hash3(b + i);
        int32_t limit = std::min(kMaxLen, n - i);
        int32_t best = kMinLen - 1;
        int depth = 0;
        for (int32_t p = w.head[h]; p >= 0 && depth < kChainDepth; p = w.prev[p], depth++) {
            if (b[p + best] != b[i + best] || b[p] != b[i]) continue;
            int32_t k = 0;
            while (k + 8 <= limit) {
                uint64_t x, y;
                std::memcpy(&x, b + p + k, 8);
                std::memcpy(&y, b + i + k, 8);
                if (x != y) {
                    k += std::countr_zero(x ^ y) >> 3;
                    break;
                }
                k += 8;
            }
            if (k + 8 > limit)
                while (k < limit && b[p + k] == b[i + k]) k++;
            if (k <= best) continue;
            // Nearer candidates come first: each longer length gets the
            // nearest distance that reaches it.
            best = k;
            if (count - w.first[i] == kMaxPerPos) count--;  // keep the longest
            w.matches[count++] = {static_cast<uint16_t>(k), static_cast<uint16_t>(i - p)};
            if (k == limit) break;
        }
        w.prev[i] = w.head[h];
        w.head[h] = i;
    }
    w.first[n] = count;
}

inline int widthOf(int32_t v) {
    return std::bit_width(static_cast<uint32_t>(v));
}

inline int refSymbol(int32_t len, int32_t dist) {
    return 256 + 16 * widthOf(len - 3) + widthOf(dist - 1);
}

// Bits of a reference whose length code has lb bits: its symbol code and
// the extra bits without their top bits.
inline uint32_t refCost(const Work& w, int lb, int32_t dist) {
    int db = widthOf(dist - 1);
    uint32_t extra = static_cast<uint32_t>((lb > 1 ? lb - 1 : 0) + (db > 1 ? db - 1 : 0));
    return w.symCost[256 + 16 * lb + db] + extra * kScale;
}

// The cheapest parse under w.symCost, from the end back (as steps in from).
void parse(int32_t n, const uint8_t* b, Work& w) {
    std::fill(w.cost, w.cost + n + 1, UINT32_MAX);
    w.cost[0] = 0;
    for (int32_t i = 0; i < n; i++) {
        uint32_t here = w.cost[i];
        uint32_t lit = here + w.symCost[b[i]];
        if (lit < w.cost[i + 1]) {
            w.cost[i + 1] = lit;
            w.from[i + 1] = 1;
        }
        // Each match serves every length from the step before it up to its
        // own; within one length width the cost is the same.
        int32_t len = kMinLen;
        for (int32_t m = w.first[i]; m < w.first[i + 1]; m++) {
            const Match& mt = w.matches[m];
            uint32_t byWidth[9];
            for (int lb = 0; lb <= 8; lb++) byWidth[lb] = here + refCost(w, lb, mt.dist);
            // Past a long match every length is not worth trying: the
            // first of each width (same cost, shortest) and the match's own.
            bool sparse = w.matches[w.first[i + 1] - 1].len >= kNiceLen;
            for (; len <= mt.len; len++) {
                if (sparse && len != mt.len && ((len - 3) & (len - 4)) != 0) continue;
                uint32_t c = byWidth[widthOf(len - 3)];
                if (c < w.cost[i + len]) {
                    w.cost[i + len] = c;
                    w.from[i + len] = len;
                    w.fromDist[i + len] = mt.dist;
                }
            }
        }
    }
}

// Walks the parse back from the end and counts its symbols.
template <typename Visit>
void walk(int32_t n, const Work& w, std::vector<int32_t>& steps, Visit visit) {
    steps.clear();
    for (int32_t at = n; at > 0; at -= w.from[at]) steps.push_back(at);
    for (size_t k = steps.size(); k-- > 0;) {
        int32_t end = steps[k], len = w.from[end];
        visit(end - len, len, w.fromDist[end]);
    }
}

// Costs from a parse's counts: the code lengths FresLengths would give.
// Symbols the parse did not use cost a little more than the rarest used.
void costsFromCounts(Codec& c, const uint32_t* counts, Work& w) {
    FresTable& t = c.symbols;
    FresInit(t, kLzSymbols);
    for (int s = 0; s < kLzSymbols; s++) t.freq[s] += counts[s] << 16;
    FresLengths(c, t);
    int longest = 1;
    for (int s = 0; s < kLzSymbols; s++) longest = std::max<int>(longest, t.len[s]);
    for (int s = 0; s < kLzSymbols; s++)
        w.symCost[s] = static_cast<uint32_t>(counts[s] ? t.len[s] : longest + 2) * kScale;
}

}  // namespace

int32_t LzxPackBest(Codec& c, int32_t n) {
    if (n < 0 || n > kCodecBlock) fatalError("LzxPack: bad byte count");
    const uint8_t* b = c.byteBuf;
    auto w = std::make_unique<Work>();
    findMatches(b, n, *w);

    // First model: literals by the block's byte counts, references as if
    // each symbol were as likely as the average literal.
    uint32_t counts[kLzSymbols] = {};
    for (int32_t i = 0; i < n; i++) counts[b[i]]++;
    for (int s = 256; s < kLzSymbols; s++) counts[s] = std::max<uint32_t>(1, n / 256);
    costsFromCounts(c, counts, *w);

    std::vector<int32_t> steps;
    for (int pass = 0; pass < kPasses; pass++) {
        parse(n, b, *w);
        if (pass + 1 == kPasses) break;
        std::fill(counts, counts + kLzSymbols, 0u);
        walk(n, *w, steps, [&](int32_t at, int32_t len, int32_t dist) {
            counts[len == 1 ? b[at] : refSymbol(len, dist)]++;
        });
        costsFromCounts(c, counts, *w);
    }

    c.bitPos = 0;
    FresInit(c.symbols, kLzSymbols);
    c.itemCount = 0;
    walk(n, *w, steps, [&](int32_t at, int32_t len, int32_t dist) {
        if (len == 1)
            HufOutLit(c, b[at]);
        else
            HufOutRef(c, len - 3, dist - 1);
    });
    EmitItems(c);
    int32_t bits = c.bitPos;
    while (c.bitPos & 7) BitPut(c, 1, 0);
    if (c.bitPos > kPackedBitsMax) fatalError("LzxPack: buffer full");
    return bits;
}
