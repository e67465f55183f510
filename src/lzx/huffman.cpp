// Canonical Huffman codes of one block: code lengths from the block's own
// counts, canonical codes (RFC 1951 order, stored bit-reversed because the
// stream fills from the least significant bit), table-driven decoding, and
// the length header that carries a table's lengths in a 27-symbol code.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

#include "base/error.h"
#include "lzx/bitio.h"
#include "lzx/codec.h"

namespace {

constexpr uint16_t kNoChild = 0xFFFF;
constexpr uint16_t kNoSymbol = kFresMax;  // lookup entry: code longer than kLookupBits or absent
constexpr int kRunShort = 25;             // length code: 4 extra bits, 3..18 zero lengths
constexpr int kRunLong = 26;              // length code: 6 extra bits, 20..83 zero lengths
constexpr int kRunMax = 83;

inline uint32_t lowBits(uint32_t v, int n) {
    return v & ((1u << n) - 1);
}

// Each byte with its bits in reverse order.
constexpr auto kRevByte = [] {
    std::array<uint8_t, 256> r{};
    for (int v = 0; v < 256; v++)
        for (int j = 0; j < 8; j++) r[v] |= static_cast<uint8_t>(((v >> j) & 1) << (7 - j));
    return r;
}();

// The low n bits of v (n <= kMaxCodeLen) in reverse order.
inline uint32_t bitRev(uint32_t v, int n) {
    static_assert(kMaxCodeLen <= 24);
    uint32_t r = static_cast<uint32_t>(kRevByte[v & 0xFF]) << 16 |
                 static_cast<uint32_t>(kRevByte[(v >> 8) & 0xFF]) << 8 | kRevByte[(v >> 16) & 0xFF];
    return r >> (24 - n);
}

// A received length set must not claim more code space than exists (the
// check in LenToVal misses most such sets); an incomplete set is fine, its
// unused codes simply never match.
void checkKraft(const FresTable& t, const char* message) {
    // The code space of each length, none for an unused symbol.
    static constexpr auto kSpace = [] {
        std::array<uint32_t, kMaxCodeLen + 1> w{};
        for (int l = 1; l <= kMaxCodeLen; l++) w[l] = 1u << (kMaxCodeLen - l);
        return w;
    }();
    uint64_t space = 0;
    for (int32_t i = 0; i < t.count; i++) {
        if (t.len[i] > kMaxCodeLen) fatalError("%s", message);
        space += kSpace[t.len[i]];
    }
    if (space > (uint64_t{1} << kMaxCodeLen)) fatalError("%s", message);
}

}  // namespace

void FresInit(FresTable& t, int32_t n) {
    if (static_cast<uint32_t>(n) > kFresMax) fatalError("FresInit: too many symbols");
    t.count = n;
    for (int32_t i = 0; i < n; i++) t.freq[i] = static_cast<uint32_t>(i);
}

namespace {

// A radix sort's digits: the symbol, then the count's low and high byte.
struct Digit {
    int shift;
    uint32_t mask;
};
constexpr Digit kDigits[3] = {{0, 511}, {16, 255}, {24, 255}};

}  // namespace

// Keys are count << 16 | symbol and therefore unique: any sort gives the same
// order, by count descending and then by symbol descending (unused symbols,
// count 0, last).
void FresSort(FresTable& t) {
    static_assert(kFresMax <= 512, "a symbol is one 9-bit digit");
    const int32_t n = t.count;
    // A few dozen keys sort faster by comparison than by counting.
    if (n <= 64) {
        std::sort(t.freq, t.freq + n, std::greater<uint32_t>());
        return;
    }
    // Stable counting passes, least significant digit first, each putting
    // high digits first. A digit that all keys share needs no pass.
    int32_t at[3][512] = {};
    for (int32_t i = 0; i < n; i++)
        for (int d = 0; d < 3; d++) at[d][(t.freq[i] >> kDigits[d].shift) & kDigits[d].mask]++;
    uint32_t other[kFresMax];
    uint32_t *in = t.freq, *out = other;
    for (int d = 0; d < 3; d++) {
        const auto [shift, mask] = kDigits[d];
        if (at[d][(in[0] >> shift) & mask] == n) continue;
        int32_t pos = 0;
        for (uint32_t v = mask + 1; v-- > 0;) {
            int32_t k = at[d][v];
            at[d][v] = pos;
            pos += k;
        }
        for (int32_t i = 0; i < n; i++) out[at[d][(in[i] >> shift) & mask]++] = in[i];
        std::swap(in, out);
    }
    if (in != t.freq) std::copy(in, in + n, t.freq);
}

int32_t TreeBuild(Codec& c, FresTable& t) {
    // The leaves are nodes 0..used-1 by weight descending (FresLengths), so
    // the lightest is taken from the top. Merged nodes come out in order of
    // weight, so they queue in workList (oldest first). Among equal weights a
    // merged node goes before every leaf, and the newest merged node first:
    // the nodes of the lightest weight in the queue form a run that is taken
    // from its newest end, and a new node of that same weight joins it there.
    uint16_t* queue = c.workList;
    const int32_t used = t.used;
    int32_t leaves = used, next = used;
    int32_t runLow = 0, runTop = -1;  // the lightest run, queue[runLow..runTop]
    int32_t rest = 0, tail = 0;       // the heavier merged nodes, queue[rest..tail)
    auto weight = [&](int32_t node) { return c.nodes[node].weight; };
    auto take = [&]() -> const TreeNode& {
        if (runTop < runLow && rest < tail) {
            uint16_t w = weight(queue[rest]);
            runLow = rest;
            while (rest < tail && weight(queue[rest]) == w) rest++;
            runTop = rest - 1;
        }
        if (runTop >= runLow && (leaves == 0 || weight(queue[runTop]) <= weight(leaves - 1)))
            return c.nodes[queue[runTop--]];
        return c.nodes[--leaves];
    };
    while (leaves + (runTop - runLow + 1) + (tail - rest) >= 2) {
        const TreeNode& b = take();
        const TreeNode& a = take();
        uint16_t w = static_cast<uint16_t>(a.weight + b.weight);
        c.nodes[next] = {w, static_cast<uint16_t>(next), a.self, b.self};
        if (runTop >= runLow && w == weight(queue[runTop])) {
            // Nothing heavier is queued: the slot above the run is free.
            queue[++runTop] = static_cast<uint16_t>(next);
            if (runTop >= tail) rest = tail = runTop + 1;
        } else {
            queue[tail++] = static_cast<uint16_t>(next);
        }
        next++;
    }
    if (next != 2 * used - 1) fatalError("TreeBuild: BUG");
    return next;
}

void TreeToLen(Codec& c, FresTable& t, int32_t node, int32_t depth) {
    if (depth > kMaxCodeLen) fatalError("TreeToLen: too deep");
    if (node < t.used) {
        t.len[t.freq[node] & 0xFFFF] = static_cast<uint8_t>(depth);
        if (depth == 0) fatalError("TreeToLen: root is used");
        return;
    }
    const TreeNode& n = c.nodes[node];
    if ((n.left == kNoChild) != (n.right == kNoChild)) fatalError("TreeToLen: child missing");
    if (n.left == kNoChild) return;
    TreeToLen(c, t, n.left, depth + 1);
    TreeToLen(c, t, n.right, depth + 1);
}

void FresLengths(Codec& c, FresTable& t) {
    std::memset(t.len, 0, sizeof t.len);
    FresSort(t);
    int32_t used = 0;
    for (; used < t.count && t.freq[used] >= 0x10000; used++) {
        uint16_t k = static_cast<uint16_t>(used);
        c.nodes[used] = {static_cast<uint16_t>(t.freq[used] >> 16), k, kNoChild, kNoChild};
    }
    t.used = used;
    // One code needs at least one bit, even when there is nothing to code.
    if (used == 0) {
        t.len[0] = 1;
    } else if (used == 1) {
        t.len[t.freq[0] & 0xFFFF] = 1;
    } else {
        TreeBuild(c, t);
        TreeToLen(c, t, 2 * used - 2, 0);
    }
}

void LenToVal(FresTable& t) {
    int32_t count[kMaxCodeLen + 1] = {};
    for (int32_t i = 0; i < t.count; i++) {
        if (t.len[i] > kMaxCodeLen) fatalError("LenToVal: length too big");
        count[t.len[i]]++;
    }
    // Canonical values counted upward, each reversed as it is handed out.
    // Only the low l bits of a start count (an over-full set wraps); a
    // length whose codes are used up refuses its next symbol.
    uint32_t first = 0;
    uint32_t next[kMaxCodeLen + 1];
    for (int l = 1; l <= kMaxCodeLen; l++) {
        next[l] = first & ((1u << l) - 1);
        first = 2 * (first + static_cast<uint32_t>(count[l]));
    }
    for (int32_t i = 0; i < t.count; i++) {
        int l = t.len[i];
        if (l == 0) continue;
        if (next[l] >> l) fatalError("LenToVal: overcounted");
        t.code[i] = static_cast<int32_t>(bitRev(next[l]++, l));
    }
}

void MakeLookup(Codec& c, const FresTable& t) {
    std::fill(c.lookup, c.lookup + 1024, kNoSymbol);
    std::fill(c.fast.lookupLen, c.fast.lookupLen + 1024, uint16_t{0});
    for (int32_t i = 0; i < t.count; i++) {
        int l = t.len[i];
        if (l == 0 || l > kLookupBits) continue;
        auto entry = static_cast<uint16_t>(l | i << lzx_bits::kEntrySymShift);
        for (int32_t j = t.code[i]; j < 1024; j += 1 << l) {
            c.lookup[j] = static_cast<uint16_t>(i);
            c.fast.lookupLen[j] = entry;
        }
    }
}

bool MakeDecodeTable(Codec& c, FresTable& t, int32_t minPairSlots) {
    using namespace lzx_bits;
    constexpr int32_t kRoot = 1 << kDecodeRootBits;
    constexpr int32_t kRoom = sizeof c.decodeTable / sizeof c.decodeTable[0];
    uint32_t* table = c.decodeTable;
    // The used symbols ordered by code length and, within a length, by
    // symbol (a stable counting sort), which is the order of the canonical
    // codes. The alphabet is cut into kLanes runs that count apart, so that
    // a run of equal lengths (mostly unused symbols) does not wait on its
    // own previous count; a lane's symbols of a length go before the next
    // lane's. The last lane also takes the symbols the cut leaves over.
    constexpr int32_t kLanes = 8;
    const int32_t n = t.count, lane = n / kLanes, cut = lane * kLanes;
    const uint8_t* len = t.len;
    int32_t count[kLanes][kMaxCodeLen + 1] = {};
    for (int32_t i = 0; i < lane; i++)
        for (int32_t j = 0; j < kLanes; j++) count[j][len[j * lane + i]]++;
    for (int32_t i = cut; i < n; i++) count[kLanes - 1][len[i]]++;
    int32_t start[kMaxCodeLen + 2];
    int32_t at[kLanes][kMaxCodeLen + 1];
    uint32_t first[kMaxCodeLen + 1];
    uint32_t code = 0;
    start[0] = 0;
    for (int l = 0; l <= kMaxCodeLen; l++) {
        int32_t k = start[l];
        for (int32_t j = 0; j < kLanes; j++) {
            at[j][l] = k;
            k += count[j][l];
        }
        start[l + 1] = k;
        // The first canonical code of each length, counted upward.
        if (l == 0) continue;
        auto used = static_cast<uint32_t>(start[l + 1] - start[l]);
        if (code + used > (1u << l)) fatalError("LenToVal: overcounted");
        first[l] = code;
        code = (code + used) << 1;
    }
    uint16_t byLen[kFresMax];
    for (int32_t i = 0; i < lane; i++)
        for (int32_t j = 0; j < kLanes; j++)
            byLen[at[j][len[j * lane + i]]++] = static_cast<uint16_t>(j * lane + i);
    for (int32_t i = cut; i < n; i++) byLen[at[kLanes - 1][len[i]]++] = static_cast<uint16_t>(i);
    // Each used symbol's code, as LenToVal gives it.
    for (int l = 1; l <= kMaxCodeLen; l++) {
        for (int32_t k = start[l]; k < start[l + 1]; k++)
            t.code[byLen[k]] =
                static_cast<int32_t>(bitRev(first[l] + static_cast<uint32_t>(k - start[l]), l));
    }

    // The root grows with the code length: the codes of length l go into a
    // table of 2^l entries, which is then doubled by copying, so each entry
    // is written once and every longer index repeats its first l bits.
    // Unused codes keep the search entry; a longer code overwrites the copies
    // of its own prefix later.
    table[0] = table[1] = kSearchEntry;
    int32_t size = 2;
    for (int l = 1; l <= kDecodeRootBits; l++) {
        for (int32_t k = start[l]; k < start[l + 1]; k++) {
            int32_t s = byLen[k];
            table[t.code[s]] = symbolEntry(s, l);
        }
        if (l < kDecodeRootBits) {
            std::memcpy(table + size, table, static_cast<size_t>(size) * sizeof *table);
            size *= 2;
        }
    }

    // Two literals whose codes fit the root together share one entry: under
    // a literal's code A of l bits, each literal code B of at most the
    // remaining bits fills the entries that start with A and then B. Within
    // a length the literals come first (byLen is ordered by symbol).
    int32_t literals[kDecodeRootBits] = {};
    for (int l = 1; l < kDecodeRootBits; l++) {
        int32_t k = start[l];
        while (k < start[l + 1] && byLen[k] < 256) k++;
        literals[l] = k - start[l];
    }
    // The share of the root that pairs would fill, in entries.
    int32_t pairSlots = 0;
    for (int l = 1; l < kDecodeRootBits; l++)
        for (int l2 = 1; l + l2 <= kDecodeRootBits; l2++)
            pairSlots += literals[l] * literals[l2] << (kDecodeRootBits - l - l2);
    const bool paired = pairSlots >= minPairSlots;
    for (int l = 1; paired && l < kDecodeRootBits; l++) {
        const int rest = kDecodeRootBits - l;
        for (int32_t k = start[l]; k < start[l] + literals[l]; k++) {
            int32_t s = byLen[k];
            const uint32_t a = symbolEntry(s, l) + (1u << kLiteralCountShift);
            const auto codeA = static_cast<uint32_t>(t.code[s]);
            for (int l2 = 1; l2 <= rest; l2++) {
                const uint32_t step = 1u << (l + l2);
                for (int32_t k2 = start[l2]; k2 < start[l2] + literals[l2]; k2++) {
                    int32_t s2 = byLen[k2];
                    const uint32_t pair =
                        a + static_cast<uint32_t>(l2) + (static_cast<uint32_t>(s2) << 16);
                    for (uint32_t j = codeA | static_cast<uint32_t>(t.code[s2]) << l; j < kRoot;
                         j += step)
                        table[j] = pair;
                }
            }
        }
    }

    // Longer codes: a subtable under their first kDecodeRootBits bits, as
    // wide as the longest code there; the root entry holds that width while
    // the widths are gathered (kind search, width in bits 24..28).
    const int32_t longFirst = start[kDecodeRootBits + 1], longEnd = start[kMaxCodeLen + 1];
    for (int32_t k = longFirst; k < longEnd; k++) {
        int32_t s = byLen[k];
        table[t.code[s] & kDecodeRootMask] =
            kSearchEntry | static_cast<uint32_t>(t.len[s] - kDecodeRootBits) << 24;
    }
    // A hostile length set can ask for more subtable room than there is;
    // the prefixes left without a subtable fall back to the search.
    int32_t next = kRoot;
    for (int32_t k = longFirst; k < longEnd; k++) {
        int32_t s = byLen[k];
        int l = t.len[s];
        auto code = static_cast<uint32_t>(t.code[s]);
        uint32_t& root = table[code & kDecodeRootMask];
        if (entryKind(root) == kKindSearch) {
            uint32_t width = root >> 24;
            int32_t room = 1 << width;
            root = kSearchEntry;
            if (width == 0 || room > kRoom - next) continue;
            root = kKindSubtable << 6 | static_cast<uint32_t>(next) << 8 | width << 24;
            std::fill(table + next, table + next + room, kSearchEntry);
            next += room;
        }
        if (entryKind(root) != kKindSubtable) continue;  // not a prefix code: search
        uint32_t* sub = table + ((root >> 8) & 0xFFFF);
        uint32_t subSize = 1u << ((root >> 24) & 31);
        uint32_t e = symbolEntry(s, l);
        for (uint32_t j = code >> kDecodeRootBits; j < subSize; j += 1u << (l - kDecodeRootBits))
            sub[j] = e;
    }
    return paired;
}

int32_t DecodeSym(Codec& c, const FresTable& t) {
    return lzx_bits::decodeAt(c, t, c.bitPos);
}

int32_t DecodeLong(const FresTable& t, uint32_t bits) {
    for (int32_t i = 0; i < t.count; i++) {
        int l = t.len[i];
        if (l > kLookupBits && lowBits(bits, l) == lowBits(static_cast<uint32_t>(t.code[i]), l))
            return i;
    }
    fatalError("DecodeLong: code not found");
}

int32_t UnCode(const FresTable& t, uint32_t bits) {
    for (int32_t i = 0; i < t.count; i++) {
        int l = t.len[i];
        if (l > 0 && lowBits(bits, l) == lowBits(static_cast<uint32_t>(t.code[i]), l)) return i;
    }
    fatalError("UnCode: code not found");
}

void SendLens(Codec& c, const FresTable& t) {
    FresTable& lc = c.lengthCodes;
    FresInit(lc, kLenCodeCount);
    // Length-code symbols, each run symbol followed by its run length.
    uint8_t work[kFresMax];
    int32_t nw = 0;
    for (int32_t i = 0; i < t.count;) {
        int sym = t.len[i];
        int32_t run = 1;
        if (sym == 0) {
            int32_t limit = std::min<int32_t>(kRunMax, t.count - i);
            while (run < limit && t.len[i + run] == 0) run++;
            // 19 zeros have no run symbol: one zero, then a run of 18.
            if (run < 3 || run == 19) {
                run = 1;
            } else {
                sym = run <= 18 ? kRunShort : kRunLong;
            }
        }
        work[nw++] = static_cast<uint8_t>(sym);
        if (sym >= kRunShort) work[nw++] = static_cast<uint8_t>(run);
        lc.freq[sym] += 0x10000;
        i += run;
    }
    FresLengths(c, lc);
    for (int s = 0; s < kLenCodeCount; s++) {
        int l = lc.len[s];
        if (l <= 6) {
            BitPut(c, 3, static_cast<uint32_t>(l));
        } else {
            if (l > 14) fatalError("SendLenLens: too big");
            BitPut(c, 3, 7);
            BitPut(c, 3, static_cast<uint32_t>(l - 7));
        }
    }
    LenToVal(lc);
    for (int32_t k = 0; k < nw;) {
        int sym = work[k++];
        BitPut(c, lc.len[sym], static_cast<uint32_t>(lc.code[sym]));
        if (sym == kRunShort) BitPut(c, 4, work[k++] - 3u);
        if (sym == kRunLong) BitPut(c, 6, work[k++] - 20u);
    }
}

void RecvLens(Codec& c, FresTable& t, int32_t n) {
    if (static_cast<uint32_t>(n) > kFresMax) fatalError("RecvLens: too many symbols");
    // The bits wait in a 64-bit buffer, topped up to 56 or more; every load
    // lies inside the bit buffer.
    const uint8_t* lastLoad = c.bitBuf + sizeof c.bitBuf - 8;
    if (c.bitPos < 0 || c.bitBuf + (c.bitPos >> 3) > lastLoad) {
        fatalError("BitPeek: read past buffer");
    }
    lzx_bits::Reader r(c, c.bitPos);
    uint64_t& buf = r.buf;
    auto refill = [&] {
        if (r.in > lastLoad) fatalError("BitPeek: read past buffer");
        r.refill();
    };
    auto take = [&](uint32_t width) {
        auto v = static_cast<uint32_t>(buf & ((1u << width) - 1));
        buf >>= width;
        r.avail -= width;
        return v;
    };
    FresTable& lc = c.lengthCodes;
    lc.count = kLenCodeCount;
    for (int s = 0; s < kLenCodeCount; s++) {
        // Eight lengths of at most 6 bits fit one refill.
        if (s % 8 == 0) refill();
        uint32_t v = take(3);
        if (v == 7) v += take(3);
        lc.len[s] = static_cast<uint8_t>(v);
    }
    LenToVal(lc);
    checkKraft(lc, "RecvLens: length codes over-subscribed");
    // Most length codes are short: a small table takes them, the search the
    // rest. An entry holds what a code stands for: the length it gives
    // (zero for a run), its code length, the width of its extra bits and the
    // count they are added to.
    constexpr int kQuickBits = 7;
    auto entryOf = [&](int32_t sym) -> uint32_t {
        if (sym > kRunLong) fatalError("RecvLens: bad code %d", sym);
        uint32_t value = sym <= kMaxCodeLen ? static_cast<uint32_t>(sym) : 0;
        uint32_t width = sym == kRunShort ? 4 : sym == kRunLong ? 6 : 0;
        uint32_t base = sym == kRunShort ? 3 : sym == kRunLong ? 20 : 1;
        uint32_t len = lc.len[sym];
        return value | len << 8 | (len + width) << 16 | base << 24;
    };
    uint32_t quick[1 << kQuickBits] = {};  // 0: not in the table
    for (int s = 0; s < kLenCodeCount; s++) {
        int l = lc.len[s];
        if (l == 0 || l > kQuickBits) continue;
        for (int32_t j = lc.code[s]; j < 1 << kQuickBits; j += 1 << l) quick[j] = entryOf(s);
    }
    t.count = n;
    // A code writes 16 bytes of its length (a run writes zeros), and only a
    // run longer than that writes more, so lengths and runs take the same
    // path. A run may pass the n-th length; the surplus is never looked at,
    // but near the end of the array it is cut to stay inside.
    constexpr int32_t kStoreEnd = kFresMax - 96;
    auto one = [&](int32_t& i) {
        uint32_t q = quick[buf & ((1u << kQuickBits) - 1)];
        if (q == 0) q = entryOf(UnCode(lc, static_cast<uint32_t>(buf) & 0xFFFFFF));
        uint32_t codeLen = (q >> 8) & 15, width = ((q >> 16) & 31) - codeLen;
        auto k = static_cast<int32_t>((q >> 24) + ((buf >> codeLen) & ((1u << width) - 1)));
        buf >>= (q >> 16) & 31;
        r.avail -= (q >> 16) & 31;
        auto value = static_cast<uint8_t>(q & 31);
        if (i <= kStoreEnd) {
            uint64_t fill = value * 0x0101010101010101u;
            std::memcpy(t.len + i, &fill, 8);
            std::memcpy(t.len + i + 8, &fill, 8);
            for (int32_t j = 16; j < k; j += 16) std::memset(t.len + i + j, 0, 16);
        } else {
            std::memset(t.len + i, value, static_cast<size_t>(std::min(k, kFresMax - i)));
        }
        i += k;
    };
    // Codes are taken while 20 bits (the longest code and its run bits) are left.
    for (int32_t i = 0; i < n;) {
        refill();
        do one(i);
        while (i < n && r.avail >= 20);
    }
    c.bitPos = r.pos(c);
    checkKraft(t, "RecvLens: code lengths over-subscribed");
}
