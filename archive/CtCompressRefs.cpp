// The back-reference stage's encoder: matches over the 255-byte window, then
// the cheapest parse by dynamic programming from the end, priced in bytes or
// in the bits that the bit-coded stage will spend.
#include <cstring>

#include "archive/CtCompress.h"

namespace {

const size_t kWindow = 255;    // distances and counts are single bytes
const size_t kMaxCount = 255;
const uint32_t kRefCost = 3;   // escape, distance, count
const size_t kMinMatch = 4;    // a shorter reference saves nothing
const int kMaxHashBits = 15;
// Candidates looked at per position by the byte-priced parse. The window
// holds few of them in ordinary data; the bound only matters for long
// stretches of repeated 4-byte groups, where the nearest candidates already
// match in full.
const int kMaxChain = 16;

uint32_t Hash4(const uint8_t* p, int bits) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return (v * 2654435761u) >> (32 - bits);
}

// Common length of a and b (b ahead of a, overlap allowed), up to limit.
size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            return n + (__builtin_ctzll(x ^ y) >> 3);
#else
            return n + (__builtin_clzll(x ^ y) >> 3);
#endif
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// For every position the longest match in the window whose distance is not
// the escape (0 when shorter than kMinMatch), and its distance.
void FindMatches(const uint8_t* data, size_t size, uint8_t escape, std::vector<uint8_t>& longest,
                 std::vector<uint8_t>& distance) {
    // Small inputs get a small table: clearing it is part of every call.
    int bits = 8;
    while (bits < kMaxHashBits && (size_t{1} << bits) < size) ++bits;
    std::vector<int64_t> head(size_t{1} << bits, -1);
    int64_t chain[256];  // previous position with the same hash, by position & 255
    size_t previous = 0;  // the match found one position back, and its distance
    size_t previousDistance = 0;
    for (size_t i = 0; i + kMinMatch <= size; ++i) {
        const uint32_t h = Hash4(data + i, bits);
        const size_t limit = size - i < kMaxCount ? size - i : kMaxCount;
        // The match one position back goes on here, one byte shorter: a
        // candidate must beat it, which most fail at their first compare.
        size_t best = previous > 1 ? previous - 1 : 0;
        size_t bestDistance = previousDistance;
        int64_t candidate = head[h];
        // Links of positions more than 255 back may have been overwritten,
        // so the walk stops at the window's edge before following them.
        for (int depth = 0; best < limit && depth < kMaxChain && candidate >= 0 &&
                            i - static_cast<size_t>(candidate) <= kWindow;
             ++depth) {
            const size_t c = static_cast<size_t>(candidate);
            const size_t d = i - c;
            if (d != escape && data[c + best] == data[i + best]) {
                const size_t n = MatchLength(data + c, data + i, limit);
                if (n > best) {
                    best = n;
                    bestDistance = d;
                }
            }
            candidate = chain[c & 255];
        }
        chain[i & 255] = head[h];
        head[h] = static_cast<int64_t>(i);
        previous = best;
        previousDistance = bestDistance;
        if (best >= kMinMatch) {
            longest[i] = static_cast<uint8_t>(best);
            distance[i] = static_cast<uint8_t>(bestDistance);
        }
    }
}

}  // namespace

CtPacked CtPackRefs(const uint8_t* data, size_t size) {
    CtPacked packed;
    const uint8_t escape = CtRarestByte(data, size);
    packed.escape = escape;

    std::vector<uint8_t> longest(size, 0);
    std::vector<uint8_t> distance(size, 0);
    FindMatches(data, size, escape, longest, distance);

    // cost[i]: fewest bytes that code data[i..], each position either a
    // literal or a reference over its longest match. Shorter counts could
    // land better in principle; an exact search over every count finds next
    // to nothing more, and lazy or greedy matching do worse.
    std::vector<uint32_t> cost(size + 1, 0);
    std::vector<uint8_t> take(size, 0);  // reference at i, or 0 for a literal
    for (size_t i = size; i-- > 0;) {
        const uint32_t literal = cost[i + 1] + (data[i] == escape ? 2 : 1);
        if (longest[i] >= kMinMatch && cost[i + longest[i]] + kRefCost <= literal) {
            cost[i] = cost[i + longest[i]] + kRefCost;
            take[i] = 1;
        } else {
            cost[i] = literal;
        }
    }

    std::vector<uint8_t>& out = packed.data;
    out.reserve(cost[0]);
    for (size_t i = 0; i < size;) {
        if (take[i] != 0) {
            out.push_back(escape);
            out.push_back(distance[i]);
            out.push_back(longest[i]);
            i += longest[i];
        } else {
            out.push_back(data[i]);
            if (data[i] == escape) out.push_back(escape);
            ++i;
        }
    }
    return packed;
}

// ---- The parse priced in bits ------------------------------------------------

namespace {

// A match at some position: its length (the most a reference may copy) and
// distance.
struct Match {
    uint8_t length;
    uint8_t distance;
};

// How hard the priced parse looks.
struct Effort {
    size_t minMatch;      // 3 or 4 bytes: what the hash covers
    int depth;            // candidates looked at per position
    size_t nice;          // inside a match this long the search rests
    uint32_t allCountsTo; // every count up to this is priced; beyond, a few per match
};

Effort EffortOf(CtLevel level) {
    if (level == CtLevel::kMax) return Effort{3, 255, 256, 255};
    return Effort{3, 16, 32, 24};
}

uint32_t Hash3(const uint8_t* p, int bits) {
    const uint32_t v = p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
    return (v * 2654435761u) >> (32 - bits);
}

// The matches worth pricing at one position, longest first: each shorter
// one has a distance that costs less than every longer one's. A reference
// of count k takes the cheapest distance among the matches of length k or
// more, which is the last of them.
class MatchSet {
public:
    explicit MatchSet(const uint8_t* prices) : n(0), prices_(prices) {}

    // The longest length among the matches whose distance costs price or
    // less: a match at such a distance must be longer to be worth keeping.
    size_t Threshold(uint8_t price) const {
        for (int j = 0; j < n; ++j) {
            if (prices_[entries[j].distance] <= price) return entries[j].length;
        }
        return 0;
    }

    // A match longer than Threshold of its price: it replaces every one
    // that is not longer and costs as much or more.
    void Add(size_t length, uint8_t distance) {
        const uint8_t price = prices_[distance];
        Match kept[kMaxEntries];
        int k = 0;
        for (int j = 0; j < n && entries[j].length > length; ++j) kept[k++] = entries[j];
        kept[k++] = Match{static_cast<uint8_t>(length), distance};
        for (int j = 0; j < n; ++j) {
            if (prices_[entries[j].distance] < price) kept[k++] = entries[j];
        }
        std::memcpy(entries, kept, sizeof(Match) * static_cast<size_t>(k));
        n = k;
    }

    // The same matches one position further on, one byte shorter.
    void Advance(size_t minMatch) {
        int k = 0;
        for (int j = 0; j < n; ++j) {
            if (entries[j].length > minMatch) {
                entries[k] = entries[j];
                --entries[k++].length;
            }
        }
        n = k;
    }

    // Prices fall along the list: it holds at most one match per price.
    static const int kMaxEntries = 257;
    Match entries[kMaxEntries];
    int n;

private:
    const uint8_t* prices_;
};

// For every position its MatchSet, in one list: the matches of position i
// are matches[first[i] .. first[i + 1]).
void FindCheapMatches(const uint8_t* data, size_t size, uint8_t escape, const uint8_t* prices,
                      const Effort& effort, std::vector<Match>* matches,
                      std::vector<uint32_t>* first) {
    first->assign(size + 1, 0);
    matches->clear();
    matches->reserve(size + size / 2);
    int bits = 8;
    while (bits < kMaxHashBits && (size_t{1} << bits) < size) ++bits;
    std::vector<int64_t> head(size_t{1} << bits, -1);
    int64_t chain[256];  // previous position with the same hash, by position & 255
    // The cheapest distance there is: a set that has it at full length
    // cannot gain any more.
    uint8_t cheapest = 255;
    for (int d = 1; d <= static_cast<int>(kWindow); ++d) {
        if (d != escape && prices[d] < cheapest) cheapest = prices[d];
    }
    MatchSet set(prices);
    for (size_t i = 0; i < size; ++i) {
        (*first)[i] = static_cast<uint32_t>(matches->size());
        set.Advance(effort.minMatch);
        if (i + effort.minMatch > size) continue;
        const uint32_t h = effort.minMatch == 3 ? Hash3(data + i, bits) : Hash4(data + i, bits);
        const size_t limit = size - i < kMaxCount ? size - i : kMaxCount;
        int64_t candidate = head[h];
        if (set.n > 0 && set.entries[0].length >= effort.nice) candidate = -1;
        // Links of positions more than 255 back may have been overwritten,
        // so the walk stops at the window's edge before following them.
        for (int depth = 0; depth < effort.depth && candidate >= 0 &&
                            i - static_cast<size_t>(candidate) <= kWindow;
             ++depth) {
            const size_t c = static_cast<size_t>(candidate);
            const size_t d = i - c;
            candidate = chain[c & 255];
            if (d == escape) continue;
            const size_t threshold = set.Threshold(prices[d]);
            if (threshold >= limit) continue;
            // A longer match must agree on the byte past the threshold.
            if (threshold >= effort.minMatch && data[c + threshold] != data[i + threshold]) continue;
            const size_t n = MatchLength(data + c, data + i, limit);
            if (n <= threshold || n < effort.minMatch) continue;
            set.Add(n, static_cast<uint8_t>(d));
            const Match& last = set.entries[set.n - 1];
            if (last.length == limit && prices[last.distance] == cheapest) break;
        }
        chain[i & 255] = head[h];
        head[h] = static_cast<int64_t>(i);
        matches->insert(matches->end(), set.entries, set.entries + set.n);
    }
    (*first)[size] = static_cast<uint32_t>(matches->size());
}

}  // namespace

CtPacked CtPackRefs(const uint8_t* data, size_t size, uint8_t escape, const uint8_t prices[256],
                    CtLevel level) {
    const Effort effort = EffortOf(level);
    std::vector<Match> matches;
    std::vector<uint32_t> first;
    FindCheapMatches(data, size, escape, prices, effort, &matches, &first);

    // cost[i]: fewest bits that code data[i..]. A reference of count k
    // costs the escape, its distance and k; every count from 2 up to the
    // longest match may land the parse better.
    const uint32_t escapeCost = prices[escape];
    std::vector<uint64_t> cost(size + 1, 0);
    std::vector<uint8_t> count(size, 0);  // reference at i, or 0 for a literal
    std::vector<uint8_t> distance(size, 0);
    for (size_t i = size; i-- > 0;) {
        uint64_t best = cost[i + 1] + (data[i] == escape ? 2 * escapeCost : prices[data[i]]);
        uint8_t bestCount = 0;
        uint8_t bestDistance = 0;
        uint32_t from = 2;
        // From the cheapest distance, which serves the shortest counts.
        for (uint32_t j = first[i + 1]; j-- > first[i];) {
            const Match m = matches[j];
            const uint64_t base = escapeCost + prices[m.distance];
            const uint32_t to = m.length;
            for (uint32_t k = from; k <= to; ++k) {
                // Long matches: their own length and a few below it.
                if (k > effort.allCountsTo && k + 4 < to) k = to - 4;
                const uint64_t c = base + prices[k] + cost[i + k];
                if (c < best) {
                    best = c;
                    bestCount = static_cast<uint8_t>(k);
                    bestDistance = m.distance;
                }
            }
            from = to + 1;
        }
        cost[i] = best;
        count[i] = bestCount;
        distance[i] = bestDistance;
    }

    CtPacked packed;
    packed.escape = escape;
    std::vector<uint8_t>& out = packed.data;
    out.reserve(size);
    for (size_t i = 0; i < size;) {
        if (count[i] != 0) {
            out.push_back(escape);
            out.push_back(distance[i]);
            out.push_back(count[i]);
            i += count[i];
        } else {
            out.push_back(data[i]);
            if (data[i] == escape) out.push_back(escape);
            ++i;
        }
    }
    return packed;
}
