// The decoder as the launcher runs it, against zlib's inflate built for the
// same processor: the Windows builds' benchmark (make bench runs the win64
// build under the host's Wine and the win32 build, the product's, under
// Wine's WoW64 mode where the machine runs 32-bit code).
//
//   decode_bench PAYLOAD [ROUNDS]
//
// PAYLOAD is a payload that velpack packed (make bench packs the corpus).
// Its compressed entries are decoded and their contents packed once more
// by zlib at level 9; then, ROUNDS times (15 by default) in turn, a pass of
// the streaming decoder over every content (the launcher's way) on the
// processor's path, one on the word path where that is the vector path,
// one of CtDecode and one of inflate, the fastest pass of each counting, so
// that the load of a shared machine falls on all of them alike. The library
// is built as the stub's (the configuration's optimisation, no exceptions),
// so the figures are the product's.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "archive/CtArchive.h"
#include "archive/CtDecompress.h"
#include "archive/CtStreamDecoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One compressed entry: its stored content, what it decodes to, and the
// same packed by zlib.
struct Content {
    const uint8_t* stored;
    int32_t length;
    Bytes original;
    Bytes zlib;
};

bool Inflate(const Content& c, Bytes& out) {
    uLongf n = static_cast<uLongf>(out.size());
    return uncompress(out.data(), &n, c.zlib.data(), static_cast<uLong>(c.zlib.size())) == Z_OK &&
           n == out.size();
}

bool Stream(const Content& c, Bytes& out, CtStreamDecoder& decoder) {
    CtBufferSink sink(out.data());
    CtCompressExcept error{0};
    const int32_t capacity = static_cast<int32_t>(out.size());
    return decoder.Decode(c.stored, c.length, capacity, &sink, &error) == capacity;
}

bool Whole(const Content& c, Bytes& out) {
    CtCompressExcept error{0};
    const int32_t capacity = static_cast<int32_t>(out.size());
    return CtDecode(c.stored, c.length, out.data(), capacity, &error) == capacity;
}

// The compressed entries of the payload, decoded and packed by zlib.
bool Load(const Bytes& image, std::vector<Content>* contents) {
    const CtArchive archive(image.data(), static_cast<int32_t>(image.size()));
    CtStreamDecoder decoder;
    CtEntry entry;
    for (int32_t i = 0; archive.EntryAt(i, &entry); ++i) {
        if (entry.Damage() != kCtSound) {
            std::fprintf(stderr, "decode_bench: entry %d is damaged\n", i);
            return false;
        }
        if ((entry.method & kCtMethodCompressed) == 0) continue;
        Content c{entry.Content(), entry.ContentLength(), Bytes(entry.unpackedSize), {}};
        if (!Stream(c, c.original, decoder)) {
            std::fprintf(stderr, "decode_bench: entry %d does not decode\n", i);
            return false;
        }
        uLongf n = compressBound(static_cast<uLong>(c.original.size()));
        c.zlib.resize(n);
        if (compress2(c.zlib.data(), &n, c.original.data(), static_cast<uLong>(c.original.size()),
                      9) != Z_OK) {
            return false;
        }
        c.zlib.resize(n);
        contents->push_back(std::move(c));
    }
    return !contents->empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: decode_bench PAYLOAD [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    std::ifstream file(argv[1], std::ios::binary);
    const Bytes image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Content> contents;
    if (image.empty() || rounds < 1 || !Load(image, &contents)) {
        std::fprintf(stderr, "decode_bench: %s: no payload with compressed entries\n", argv[1]);
        return 1;
    }
    size_t total = 0;
    std::vector<Bytes> out;
    for (const Content& c : contents) {
        total += c.original.size();
        out.emplace_back(c.original.size());
    }

    // Every pass is checked once, before the timing.
    const CtWide::Path fastest = CtWide::Fastest();
    CtStreamDecoder decoder(CtStreamDecoder::kDefaultBlock, fastest);
    CtStreamDecoder words(CtStreamDecoder::kDefaultBlock, CtWide::kWords);
    struct Pass {
        const char* name;
        std::function<bool(const Content&, Bytes&)> decode;
    };
    std::vector<Pass> passes = {
        {fastest == CtWide::kVectors ? "stream, SSE2 path (the processor's)"
                                     : "stream, word path (the processor's)",
         [&](const Content& c, Bytes& o) { return Stream(c, o, decoder); }},
        {"CtDecode", Whole},
        {"inflate", Inflate},
    };
    if (fastest == CtWide::kVectors) {
        passes.insert(passes.begin() + 1,
                      {"stream, word path", [&](const Content& c, Bytes& o) {
                           return Stream(c, o, words);
                       }});
    }
    const int kPasses = static_cast<int>(passes.size());
    for (const Pass& p : passes) {
        for (size_t i = 0; i < contents.size(); ++i) {
            if (!p.decode(contents[i], out[i]) || out[i] != contents[i].original) {
                std::fprintf(stderr, "decode_bench: %s: wrong output\n", p.name);
                return 1;
            }
        }
    }
    std::vector<double> best(passes.size(), 1e30);
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < kPasses; ++k) {
            const auto start = std::chrono::steady_clock::now();
            for (size_t i = 0; i < contents.size(); ++i) passes[k].decode(contents[i], out[i]);
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            best[k] = std::min(best[k], took.count());
        }
    }
    const double inflate = best[kPasses - 1];
    auto speed = [&](double seconds) { return static_cast<double>(total) / 1e6 / seconds; };
    std::printf("%zu contents, %.1f MB, fastest of %d passes each in turn:\n", contents.size(),
                static_cast<double>(total) / 1e6, rounds);
    for (int k = 0; k + 1 < kPasses; ++k) {
        std::printf("  %-36s %5.2f x inflate  %5.0f MB/s\n", passes[k].name, inflate / best[k],
                    speed(best[k]));
    }
    std::printf("  %-36s %5s            %5.0f MB/s\n", "inflate (zlib " ZLIB_VERSION ")", "",
                speed(inflate));
    return 0;
}
