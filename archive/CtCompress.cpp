// The frame: which stages, their escapes, and the choice among stages.
#include "archive/CtCompress.h"

#include <utility>

namespace {

// Room the decoder gives the back-reference stage beyond the unpacked size.
const size_t kRefSpare = 256;

// flags, the run escape if 0x20, the reference escape if 0x40, stage data.
std::vector<uint8_t> Frame(uint8_t flags, uint8_t runEscape, uint8_t refEscape,
                           const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    out.reserve(body.size() + 3);
    out.push_back(flags);
    if (flags & kCtStageRuns) out.push_back(runEscape);
    if (flags & kCtStageRefs) out.push_back(refEscape);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// One way to code the data: the input its bit-coded stage would see (or the
// final stage data) and the byte stages that produced it.
struct Route {
    uint8_t flags;
    const CtPacked* runs;
    const CtPacked* refs;
    const uint8_t* data;
    size_t size;
};

// Size of the content a route gives, or SIZE_MAX when the decoder's bounds
// rule it out; for a bit-coded route also its plan.
size_t RouteSize(const Route& r, size_t original, CtBitPlan* plan) {
    // The back-reference stage writes into a scratch area of the unpacked
    // size + 256; what it gives back is the run stage's data.
    if ((r.flags & kCtStageRefs) && r.runs && r.runs->data.size() > original + kRefSpare) {
        return SIZE_MAX;
    }
    size_t body = r.size;
    if (r.flags & kCtStageBits) {
        // The bit-coded stage may give back no more than the unpacked size.
        if (r.size > original) return SIZE_MAX;
        *plan = CtPlanBits(r.data, r.size);
        body = plan->size;
    }
    return 1 + (r.runs ? 1 : 0) + (r.refs ? 1 : 0) + body;
}

std::vector<uint8_t> Emit(const Route& r, const CtBitPlan& plan) {
    const uint8_t runEscape = r.runs ? r.runs->escape : 0;
    const uint8_t refEscape = r.refs ? r.refs->escape : 0;
    if (r.flags & kCtStageBits) {
        return Frame(r.flags, runEscape, refEscape, CtPackBits(r.data, r.size, plan));
    }
    return Frame(r.flags, runEscape, refEscape, std::vector<uint8_t>(r.data, r.data + r.size));
}

// The route through the given byte stages: the last of them feeds the
// bit-coded stage, or the data itself when there is none.
Route Through(uint8_t flags, const CtPacked* runs, const CtPacked* refs, const uint8_t* data,
              size_t size) {
    const CtPacked* last = refs ? refs : runs;
    if (last) return Route{flags, runs, refs, last->data.data(), last->data.size()};
    return Route{flags, runs, refs, data, size};
}

}  // namespace

std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size, uint8_t stages) {
    CtPacked runs;
    CtPacked refs;
    const bool useRuns = stages & kCtStageRuns;
    const bool useRefs = stages & kCtStageRefs;
    if (useRuns) runs = CtPackRuns(data, size);
    if (useRefs) {
        refs = useRuns ? CtPackRefs(runs.data.data(), runs.data.size()) : CtPackRefs(data, size);
    }
    const uint8_t flags = stages & (kCtStageRuns | kCtStageRefs | kCtStageBits);
    const Route route = Through(flags, useRuns ? &runs : nullptr, useRefs ? &refs : nullptr,
                                data, size);
    CtBitPlan plan{};
    if (RouteSize(route, size, &plan) == SIZE_MAX) return {};
    return Emit(route, plan);
}

std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size, CtLevel level) {
    // Each byte stage runs once and feeds every route that starts with it;
    // the bit-coded stage is sized from its counts and packed only for the
    // route that wins. Routes with fewer stages come first and win ties, so
    // that equal sizes decode faster.
    const CtPacked runs = CtPackRuns(data, size);
    const CtPacked refs = CtPackRefs(data, size);
    // The reference stage is the costly one. Behind a run stage that saves
    // next to nothing it finds what it finds in the data itself, so below a
    // saving of 1/1024 it is skipped there (docs/codec.md has what that
    // changes).
    const bool runsHelp = runs.data.size() + size / 1024 < size;
    CtPacked both;
    if (runsHelp) both = CtPackRefs(runs.data.data(), runs.data.size());
    const Route routes[] = {
        Through(0, nullptr, nullptr, data, size),
        Through(kCtStageBits, nullptr, nullptr, data, size),
        Through(kCtStageRuns, &runs, nullptr, data, size),
        Through(kCtStageRefs, nullptr, &refs, data, size),
        Through(kCtStageRuns | kCtStageBits, &runs, nullptr, data, size),
        Through(kCtStageRefs | kCtStageBits, nullptr, &refs, data, size),
        Through(kCtStageRuns | kCtStageRefs, &runs, &both, data, size),
        Through(kCtStageRuns | kCtStageRefs | kCtStageBits, &runs, &both, data, size),
    };
    // At kDefault a route through the bit-coded stage is charged 1/16 of
    // that stage's input: it decodes slower than both byte stages together,
    // and where it saves less it is left out.
    auto charged = [level](size_t n, const Route& r) {
        if (level == CtLevel::kMax || n == SIZE_MAX || (r.flags & kCtStageBits) == 0) return n;
        return n + r.size / 16;
    };
    size_t best = SIZE_MAX;
    Route winner = routes[0];
    CtBitPlan winnerPlan{};
    size_t sizes[8];
    CtBitPlan plans[8];
    for (int r = 0; r < 8; ++r) {
        sizes[r] = SIZE_MAX;
        const bool skipped = !runsHelp && (routes[r].flags & kCtStageRuns) &&
                             (routes[r].flags & kCtStageRefs);
        if (!skipped) sizes[r] = RouteSize(routes[r], size, &plans[r]);
        if (charged(sizes[r], routes[r]) < best) {
            best = charged(sizes[r], routes[r]);
            winner = routes[r];
            winnerPlan = plans[r];
        }
    }

    // The routes through both the back-reference and the bit-coded stage,
    // with the parse priced in bits: what a byte of the reference stage's
    // output costs is its code under the plan of the last parse, and each
    // new parse gives a new plan. kDefault takes one priced parse of the
    // route that is smaller so far; kMax goes on while the size falls, on
    // both.
    const int refined[2] = {5, 7};
    CtPacked priced[2];
    for (int j = 0; j < 2; ++j) {
        const int r = refined[j];
        const int other = refined[1 - j];
        if (sizes[r] == SIZE_MAX) continue;
        if (level == CtLevel::kDefault && sizes[other] < sizes[r]) continue;
        const uint8_t* input = routes[r].runs ? runs.data.data() : data;
        const size_t length = routes[r].runs ? runs.data.size() : size;
        const CtPacked* current = routes[r].refs;
        CtBitPlan plan = plans[r];
        for (int pass = 0; pass < (level == CtLevel::kMax ? 6 : 1); ++pass) {
            uint8_t prices[256];
            CtPriceBits(plan, prices);
            CtPacked next = CtPackRefs(input, length, current->escape, prices, level);
            // The bit-coded stage may give back no more than the unpacked
            // size.
            if (next.data.size() > size) break;
            const CtBitPlan nextPlan = CtPlanBits(next.data.data(), next.data.size());
            if (nextPlan.size >= plan.size) break;
            priced[j] = std::move(next);
            current = &priced[j];
            plan = nextPlan;
        }
        if (current == routes[r].refs) continue;
        const Route route = Through(routes[r].flags, routes[r].runs, current, data, size);
        const size_t n = charged(RouteSize(route, size, &plan), route);
        if (n < best) {
            best = n;
            winner = route;
            winnerPlan = plan;
        }
    }
    return Emit(winner, winnerPlan);
}

std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size) {
    return CtCompress(data, size, CtLevel::kDefault);
}
