// The run stage's encoder.
#include "archive/CtCompress.h"

uint8_t CtRarestByte(const uint8_t* data, size_t size) {
    // Four tables, so that a run of one byte does not wait on one counter.
    size_t counts[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++counts[0][data[i]];
        ++counts[1][data[i + 1]];
        ++counts[2][data[i + 2]];
        ++counts[3][data[i + 3]];
    }
    for (; i < size; ++i) ++counts[0][data[i]];
    int rarest = 0;
    size_t fewest = SIZE_MAX;
    for (int b = 0; b < 256; ++b) {
        const size_t n = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
        if (n < fewest) {
            fewest = n;
            rarest = b;
        }
    }
    return static_cast<uint8_t>(rarest);
}

namespace {
const size_t kShortRun = 8;
}

CtPacked CtPackRuns(const uint8_t* data, size_t size) {
    CtPacked packed;
    const uint8_t escape = CtRarestByte(data, size);
    packed.escape = escape;
    std::vector<uint8_t>& out = packed.data;
    out.reserve(size + size / 64 + 16);

    auto literal = [&out, escape](uint8_t c) {
        out.push_back(c);
        if (c == escape) out.push_back(escape);
    };
    // The decoder repeats the last literal; before the first one, 0.
    uint8_t previous = 0;
    size_t i = 0;
    while (i < size) {
        const uint8_t c = data[i];
        size_t run = 1;
        while (i + run < size && data[i + run] == c) ++run;
        i += run;
        if (c != previous) {
            literal(c);
            previous = c;
            --run;
        }
        while (run > 0) {
            // Escape, count costs two bytes, and every sequence costs the
            // decoder a turn out of its wide steps. Short runs go as plain
            // literals: the back-reference stage behind codes them about as
            // well (a reference one byte back, or a longer match around
            // them), and the run stage's wide steps are taken more often.
            if (c != escape && run <= kShortRun) {
                for (; run > 0; --run) literal(c);
                break;
            }
            size_t k = run < 255 ? run : 255;
            // A count equal to the escape would read as a literal escape.
            if (k == escape) --k;
            if (k == 0) {
                literal(c);
                --run;
                continue;
            }
            out.push_back(escape);
            out.push_back(static_cast<uint8_t>(k));
            run -= k;
        }
    }
    return packed;
}
