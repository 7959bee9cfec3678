// The bit-coded stage's encoder: list order, class widths, codes and fill.
#include <algorithm>
#include <cstring>

#include "archive/CtCompress.h"

namespace {

const int kMaxWidth = 8;  // the decoder rejects wider classes

struct Census {
    uint64_t counts[256];
    int lastByte;  // -1 for empty data
};

Census Count(const uint8_t* data, size_t size) {
    Census c{};
    // Four interleaved tables keep repeated bytes from serialising on one
    // counter.
    uint64_t part[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++part[0][data[i]];
        ++part[1][data[i + 1]];
        ++part[2][data[i + 2]];
        ++part[3][data[i + 3]];
    }
    for (; i < size; ++i) ++part[0][data[i]];
    for (int b = 0; b < 256; ++b) c.counts[b] = part[0][b] + part[1][b] + part[2][b] + part[3][b];
    c.lastByte = size > 0 ? data[size - 1] : -1;
    return c;
}

// Most frequent first, equal counts by byte value. Data without any byte
// still needs one list byte: a count byte of 0 would mean 256.
void Order(const Census& census, CtBitPlan* plan) {
    int order[256];
    for (int b = 0; b < 256; ++b) order[b] = b;
    std::stable_sort(order, order + 256, [&census](int x, int y) {
        return census.counts[x] > census.counts[y];
    });
    plan->count = 0;
    for (int b : order) {
        if (census.counts[b] == 0) break;
        plan->list[plan->count++] = static_cast<uint8_t>(b);
    }
    if (plan->count == 0) plan->list[plan->count++] = 0;
}

// The places where classes 0..3 begin, and where class 3 ends.
void ClassBases(const uint8_t widths[3], int32_t bases[5]) {
    bases[0] = 0;
    for (int k = 0; k < 3; ++k) bases[k + 1] = bases[k] + (1 << widths[k]);
    bases[4] = bases[3] + 256;
}

int ClassOf(int32_t place, const int32_t bases[5]) {
    int k = 0;
    while (place >= bases[k + 1]) ++k;
    return k;
}

// Bytes of the stage: header, codes, and the fill that ends the stream.
// Zero fill always ends it (a fourth 0 bit in the last byte, or up to three
// running the prefix into the end), except after a code of a width-0 class
// that ends exactly at a byte boundary: its closing 1 would be the last bit
// of the stream, which delivers nothing. A zero byte after it keeps it.
size_t StageSize(const CtBitPlan& plan, uint64_t bits, int lastWidth) {
    size_t bytes = static_cast<size_t>((bits + 7) / 8);
    if (bits > 0 && bits % 8 == 0 && lastWidth == 0) ++bytes;
    return 3 + static_cast<size_t>(plan.count) + bytes;
}

// Places of the symbols, by byte value.
void Places(const CtBitPlan& plan, int32_t places[256]) {
    for (int b = 0; b < 256; ++b) places[b] = 0;
    for (int32_t i = 0; i < plan.count; ++i) places[plan.list[i]] = i;
}

int LastWidth(const CtBitPlan& plan, const Census& census, const int32_t bases[5]) {
    if (census.lastByte < 0) return -1;
    int32_t places[256];
    Places(plan, places);
    const int k = ClassOf(places[census.lastByte], bases);
    return k < 3 ? plan.widths[k] : kMaxWidth;
}

CtBitPlan PlanWith(const Census& census, const uint8_t widths[3]) {
    CtBitPlan plan;
    Order(census, &plan);
    std::memcpy(plan.widths, widths, 3);
    int32_t bases[5];
    ClassBases(widths, bases);
    uint64_t bits = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        const int k = ClassOf(i, bases);
        const int w = k < 3 ? widths[k] : kMaxWidth;
        bits += census.counts[plan.list[i]] * static_cast<uint64_t>(k + 1 + w);
    }
    plan.size = StageSize(plan, bits, LastWidth(plan, census, bases));
    return plan;
}

}  // namespace

CtBitPlan CtPlanBits(const uint8_t* data, size_t size, const uint8_t widths[3]) {
    return PlanWith(Count(data, size), widths);
}

CtBitPlan CtPlanBits(const uint8_t* data, size_t size) {
    const Census census = Count(data, size);
    CtBitPlan plan;
    Order(census, &plan);
    // Sums of the counts of the first i places of the list make each
    // candidate a handful of operations.
    uint64_t sums[257];
    sums[0] = 0;
    for (int32_t i = 0; i < 256; ++i) {
        sums[i + 1] = sums[i] + (i < plan.count ? census.counts[plan.list[i]] : 0);
    }
    int32_t lastPlace = 0;
    if (census.lastByte >= 0) {
        int32_t places[256];
        Places(plan, places);
        lastPlace = places[census.lastByte];
    }
    size_t best = SIZE_MAX;
    uint8_t widths[3] = {0, 0, 0};
    uint8_t w[3];
    for (w[0] = 0; w[0] <= kMaxWidth; ++w[0]) {
        for (w[1] = 0; w[1] <= kMaxWidth; ++w[1]) {
            for (w[2] = 0; w[2] <= kMaxWidth; ++w[2]) {
                int32_t bases[5];
                ClassBases(w, bases);
                uint64_t bits = 0;
                for (int k = 0; k < 4; ++k) {
                    const int32_t from = std::min(bases[k], plan.count);
                    const int32_t to = std::min(bases[k + 1], plan.count);
                    const int width = k < 3 ? w[k] : kMaxWidth;
                    bits += (sums[to] - sums[from]) * static_cast<uint64_t>(k + 1 + width);
                }
                const int k = ClassOf(lastPlace, bases);
                const int lastWidth =
                    census.lastByte < 0 ? -1 : (k < 3 ? w[k] : kMaxWidth);
                const size_t bytes = StageSize(plan, bits, lastWidth);
                if (bytes < best) {
                    best = bytes;
                    std::memcpy(widths, w, 3);
                }
            }
        }
    }
    std::memcpy(plan.widths, widths, 3);
    plan.size = best;
    return plan;
}

void CtPriceBits(const CtBitPlan& plan, uint8_t prices[256]) {
    int32_t bases[5];
    ClassBases(plan.widths, bases);
    auto length = [&](int32_t place) {
        const int k = ClassOf(place, bases);
        return static_cast<uint8_t>(k + 1 + (k < 3 ? plan.widths[k] : kMaxWidth));
    };
    const uint8_t added = length(plan.count < 256 ? plan.count : 255);
    for (int b = 0; b < 256; ++b) prices[b] = added;
    for (int32_t i = 0; i < plan.count; ++i) prices[plan.list[i]] = length(i);
}

std::vector<uint8_t> CtPackBits(const uint8_t* data, size_t size, const CtBitPlan& plan) {
    std::vector<uint8_t> out;
    out.reserve(plan.size);
    out.push_back(static_cast<uint8_t>(plan.widths[0] << 4 | plan.widths[1]));
    out.push_back(plan.widths[2]);
    out.push_back(static_cast<uint8_t>(plan.count == 256 ? 0 : plan.count));
    out.insert(out.end(), plan.list, plan.list + plan.count);

    // Code of each byte: k zeros, a 1, then the wk-bit offset in its class.
    int32_t bases[5];
    ClassBases(plan.widths, bases);
    int32_t places[256];
    Places(plan, places);
    uint32_t codes[256];
    uint8_t lengths[256];
    for (int b = 0; b < 256; ++b) {
        const int k = ClassOf(places[b], bases);
        const int w = k < 3 ? plan.widths[k] : kMaxWidth;
        codes[b] = (1u << w) | static_cast<uint32_t>(places[b] - bases[k]);
        lengths[b] = static_cast<uint8_t>(k + 1 + w);
    }

    uint64_t pending = 0;  // the low `held` bits are not yet written
    int held = 0;
    for (size_t i = 0; i < size; ++i) {
        pending = pending << lengths[data[i]] | codes[data[i]];
        held += lengths[data[i]];
        while (held >= 8) {
            held -= 8;
            out.push_back(static_cast<uint8_t>(pending >> held));
        }
    }
    if (held > 0) out.push_back(static_cast<uint8_t>(pending << (8 - held)));
    // The zero byte that keeps a final width-0 code (see StageSize).
    if (out.size() < plan.size) out.push_back(0);
    return out;
}
