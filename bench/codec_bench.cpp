// Codec benchmark over a corpus of installer-like files: for every stage
// combination, for "best" (the default level) and "max", and for zlib -9 as
// the yardstick, the ratio (compressed / original), the decode and the
// encode speed; "stream" decodes the "best" contents with the streaming
// decoder into the same buffers, and memcpy gives the limit. Each file is
// one archive entry, coded on its own. Then the ratios by kind of file, and
// where the decoding time of "best" goes: each stage alone, in the blocks
// of the streaming decoder, over the inputs that the stage before it gives.
// Last, when both decode runs were asked for, "best" against zlib's inflate
// in passes taken in turn.
//
//   codec_bench --corpus=DIR [Google Benchmark flags]
//   codec_bench --corpus=DIR --brute-force
//
// --brute-force compares "best" with the smallest content that any stage
// combination with any widths of the bit-coded stage gives over the
// byte-priced parses of the back-reference stage.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/CtBitDecoder.h"
#include "archive/CtByteStages.h"
#include "archive/CtCompress.h"
#include "archive/CtDecompress.h"
#include "archive/CtStageDecode.h"
#include "archive/CtStreamDecoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct File {
    std::string name;
    Bytes data;
};

std::vector<File> LoadCorpus(const std::string& folder) {
    std::vector<File> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        File f{e.path().lexically_relative(folder).string(), Bytes(e.file_size())};
        std::ifstream in(e.path(), std::ios::binary);
        in.read(reinterpret_cast<char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
        files.push_back(std::move(f));
    }
    std::sort(files.begin(), files.end(),
              [](const File& a, const File& b) { return a.name < b.name; });
    return files;
}

size_t TotalSize(const std::vector<File>& files) {
    size_t n = 0;
    for (const File& f : files) n += f.data.size();
    return n;
}

struct Codec {
    std::string name;
    std::function<Bytes(const Bytes&)> encode;
    // Decodes packed into out, which holds exactly the original size.
    std::function<bool(const Bytes& packed, Bytes& out)> decode;
};

Bytes Zlib9(const Bytes& in) {
    uLongf n = compressBound(in.size());
    Bytes out(n);
    if (compress2(out.data(), &n, in.data(), in.size(), 9) != Z_OK) return {};
    out.resize(n);
    return out;
}

bool Inflate(const Bytes& packed, Bytes& out) {
    uLongf n = out.size();
    return uncompress(out.data(), &n, packed.data(), packed.size()) == Z_OK && n == out.size();
}

bool DecodeWhole(const Bytes& packed, Bytes& out) {
    CtCompressExcept error{0};
    const int32_t n = CtDecode(packed.data(), static_cast<int32_t>(packed.size()), out.data(),
                               static_cast<int32_t>(out.size()), &error);
    return static_cast<size_t>(n) == out.size();
}

std::vector<Codec> Codecs() {
    std::vector<Codec> codecs;
    const struct {
        const char* name;
        uint8_t stages;
    } kCombinations[] = {
        {"plain", 0},
        {"bits", kCtStageBits},
        {"runs", kCtStageRuns},
        {"refs", kCtStageRefs},
        {"runs+bits", kCtStageRuns | kCtStageBits},
        {"refs+bits", kCtStageRefs | kCtStageBits},
        {"runs+refs", kCtStageRuns | kCtStageRefs},
        {"runs+refs+bits", kCtStageRuns | kCtStageRefs | kCtStageBits},
    };
    for (const auto& c : kCombinations) {
        const uint8_t stages = c.stages;
        codecs.push_back(Codec{c.name,
                               [stages](const Bytes& in) {
                                   Bytes out = CtCompress(in.data(), in.size(), stages);
                                   // A route the decoder's bounds rule out
                                   // leaves that file plain.
                                   return out.empty() ? CtCompress(in.data(), in.size(), 0) : out;
                               },
                               DecodeWhole});
    }
    codecs.push_back(
        Codec{"best", [](const Bytes& in) { return CtCompress(in.data(), in.size()); },
              DecodeWhole});
    codecs.push_back(Codec{"max",
                           [](const Bytes& in) {
                               return CtCompress(in.data(), in.size(), CtLevel::kMax);
                           },
                           DecodeWhole});
    codecs.push_back(Codec{"zlib -9", Zlib9, Inflate});
    return codecs;
}

struct Row {
    double ratio = 0;
    double encode = 0;  // MB/s
    double decode = 0;
};

// One stage of one "best" content: its input, as the stage before it
// leaves it, and the size of its output.
struct StageRun {
    uint8_t escape;
    Bytes input;
    size_t produced;
};

// The stages of "best" over the corpus, in decoding order.
const char* const kStageNames[] = {"bits", "refs", "runs"};
std::vector<StageRun> gStages[3];

// A stage's time over the whole corpus, and its output.
struct StageRow {
    double milliseconds = 0;
    size_t bytes = 0;
};
std::map<std::string, StageRow> gStageRows;

std::vector<File> gCorpus;
size_t gTotal = 0;
std::map<std::string, std::vector<Bytes>> gPacked;
std::map<std::string, Row> gRows;
std::vector<std::string> gOrder;

void Encode(benchmark::State& state, const Codec& codec) {
    std::vector<Bytes> packed(gCorpus.size());
    for (auto _ : state) {
        for (size_t i = 0; i < gCorpus.size(); ++i) packed[i] = codec.encode(gCorpus[i].data);
        benchmark::ClobberMemory();
    }
    size_t total = 0;
    for (const Bytes& p : packed) total += p.size();
    gRows[codec.name].ratio = static_cast<double>(total) / static_cast<double>(gTotal);
    state.counters["ratio"] = gRows[codec.name].ratio;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gTotal));
    gPacked[codec.name] = std::move(packed);
}

// Packs the corpus with the named codec unless an encode run has already.
std::vector<Bytes>& PackedBy(const Codec& codec) {
    std::vector<Bytes>& packed = gPacked[codec.name];
    if (packed.empty()) {
        for (const File& f : gCorpus) packed.push_back(codec.encode(f.data));
    }
    return packed;
}

// One buffer of the original size for every file.
std::vector<Bytes> OutputBuffers() {
    std::vector<Bytes> out(gCorpus.size());
    for (size_t i = 0; i < gCorpus.size(); ++i) out[i].resize(gCorpus[i].data.size());
    return out;
}

void Decode(benchmark::State& state, const Codec& codec) {
    // Run alone (--benchmark_filter), decoding packs the corpus first.
    const std::vector<Bytes>& packed = PackedBy(codec);
    std::vector<Bytes> out = OutputBuffers();
    for (size_t i = 0; i < gCorpus.size(); ++i) {
        if (!codec.decode(packed[i], out[i]) || out[i] != gCorpus[i].data) {
            state.SkipWithError(("wrong output for " + gCorpus[i].name).c_str());
            return;
        }
    }
    for (auto _ : state) {
        for (size_t i = 0; i < gCorpus.size(); ++i) codec.decode(packed[i], out[i]);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gTotal));
}

// Decodes the "best" contents with one streaming decoder, as the launcher
// extracts its entries; true when every content has its size.
bool StreamPass(const std::vector<Bytes>& packed, std::vector<Bytes>& out,
                CtStreamDecoder& decoder) {
    bool right = true;
    for (size_t i = 0; i < gCorpus.size(); ++i) {
        CtBufferSink sink(out[i].data());
        CtCompressExcept error{0};
        const int32_t n = decoder.Decode(packed[i].data(), static_cast<int32_t>(packed[i].size()),
                                         static_cast<int32_t>(out[i].size()), &sink, &error);
        right = right && static_cast<size_t>(n) == out[i].size();
    }
    return right;
}

void Stream(benchmark::State& state, const Codec& best) {
    const std::vector<Bytes>& packed = PackedBy(best);
    std::vector<Bytes> out = OutputBuffers();
    CtStreamDecoder decoder;
    if (!StreamPass(packed, out, decoder) ||
        !std::equal(out.begin(), out.end(), gCorpus.begin(),
                    [](const Bytes& o, const File& f) { return o == f.data; })) {
        state.SkipWithError("wrong output");
        return;
    }
    for (auto _ : state) {
        StreamPass(packed, out, decoder);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gTotal));
}

// The goal's ratio, measured so that the load of a shared machine falls on
// both sides alike: passes of "best" (CtDecode and the streaming decoder)
// and of zlib's inflate over the whole corpus take turns, and the fastest
// pass of each counts.
void PrintPairedRatio(const Codec& best, const Codec& zlib) {
    const int kRounds = 15;
    const std::vector<Bytes>& ours = PackedBy(best);
    const std::vector<Bytes>& theirs = PackedBy(zlib);
    std::vector<Bytes> out = OutputBuffers();
    CtStreamDecoder decoder;
    const std::function<void()> passes[3] = {
        [&] {
            for (size_t i = 0; i < gCorpus.size(); ++i) best.decode(ours[i], out[i]);
        },
        [&] {
            for (size_t i = 0; i < gCorpus.size(); ++i) zlib.decode(theirs[i], out[i]);
        },
        [&] { StreamPass(ours, out, decoder); },
    };
    double fastest[3] = {1e30, 1e30, 1e30};
    for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < 3; ++k) {
            const auto start = std::chrono::steady_clock::now();
            passes[k]();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            fastest[k] = std::min(fastest[k], took.count());
        }
    }
    auto speed = [](double seconds) { return static_cast<double>(gTotal) / 1e6 / seconds; };
    std::printf("decoding against zlib's inflate, fastest of %d passes each in turn: best %.2f x "
                "(%.0f MB/s), stream %.2f x (%.0f MB/s), inflate %.0f MB/s\n",
                kRounds, fastest[1] / fastest[0], speed(fastest[0]), fastest[1] / fastest[2],
                speed(fastest[2]), speed(fastest[1]));
}

// Runs the stages of each "best" content one after the other and keeps
// every stage's input.
void SplitStages() {
    const std::vector<Bytes>& packed = gPacked["best"];
    for (size_t i = 0; i < packed.size(); ++i) {
        const Bytes& p = packed[i];
        const uint8_t flags = p[0];
        size_t at = 1;
        const uint8_t runEscape = (flags & kCtStageRuns) ? p[at++] : 0;
        const uint8_t refEscape = (flags & kCtStageRefs) ? p[at++] : 0;
        Bytes input(p.begin() + static_cast<std::ptrdiff_t>(at), p.end());
        const int32_t capacity = static_cast<int32_t>(gCorpus[i].data.size());
        CtCompressExcept error{0};
        if (flags & kCtStageBits) {
            Bytes out(static_cast<size_t>(capacity) + 256);
            const int32_t n = CtBitDecode(input.data(), static_cast<int32_t>(input.size()),
                                          out.data(), capacity, &error);
            out.resize(static_cast<size_t>(n));
            gStages[0].push_back(StageRun{0, std::move(input), out.size()});
            input = std::move(out);
        }
        if (flags & kCtStageRefs) {
            Bytes out(static_cast<size_t>(capacity) + 256);
            const int32_t n = CtExpandRefs(refEscape, input.data(),
                                           static_cast<int32_t>(input.size()), out.data(),
                                           static_cast<int32_t>(out.size()), &error);
            out.resize(static_cast<size_t>(n));
            gStages[1].push_back(StageRun{refEscape, std::move(input), out.size()});
            input = std::move(out);
        }
        if (flags & kCtStageRuns) {
            gStages[2].push_back(StageRun{runEscape, std::move(input),
                                          static_cast<size_t>(capacity)});
        }
    }
}

// Takes what a stage hands on and drops it.
class Drop : public CtSink {
public:
    int32_t Write(const uint8_t*, int32_t) override { return 1; }
};

// One stage as the streaming decoder runs it: the bit-coded stage into one
// block, the byte stages from input pieces of a block into blocks of their
// own.
void Stage(benchmark::State& state, int stage, const Codec& best) {
    if (gStages[0].empty() && gStages[1].empty() && gStages[2].empty()) {
        PackedBy(best);
        SplitStages();
    }
    const std::vector<StageRun>& runs = gStages[stage];
    size_t bytes = 0;
    for (const StageRun& r : runs) bytes += r.produced;
    const int32_t block = CtStreamDecoder::kDefaultBlock;
    Bytes buffer(CtRefStage::kHistory + static_cast<size_t>(block));
    Drop drop;
    CtCompressExcept error{0};
    for (auto _ : state) {
        for (const StageRun& r : runs) {
            const uint8_t* in = r.input.data();
            const int32_t length = static_cast<int32_t>(r.input.size());
            if (stage == 0) {
                CtBitDecoder decoder;
                decoder.Start(in, length, &error);
                while (decoder.Decode(buffer.data(), block, &error) > 0) {
                }
                continue;
            }
            CtRefStage refs;
            CtRunStage runStage;
            CtSink* sink = &refs;
            if (stage == 1) {
                refs.Start(r.escape, buffer.data() + CtRefStage::kHistory, block, UINT32_MAX,
                           &drop, CtWide::Fastest());
            } else {
                runStage.Start(r.escape, buffer.data(), block, UINT32_MAX, &drop, CtWide::Fastest());
                sink = &runStage;
            }
            for (int32_t done = 0; done < length; done += block) {
                sink->Write(in + done, std::min(block, length - done));
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    gStageRows[kStageNames[stage]].bytes = bytes;
}

void Copy(benchmark::State& state) {
    std::vector<Bytes> out(gCorpus.size());
    for (size_t i = 0; i < gCorpus.size(); ++i) out[i].resize(gCorpus[i].data.size());
    for (auto _ : state) {
        for (size_t i = 0; i < gCorpus.size(); ++i) {
            std::memcpy(out[i].data(), gCorpus[i].data.data(), gCorpus[i].data.size());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gTotal));
}

// Collects the speeds for the closing table as the runs come in; plain
// text, since the output usually goes to a log.
class TableReporter : public benchmark::ConsoleReporter {
public:
    TableReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.run_name.function_name;
            const auto slash = name.find('/');
            if (slash == std::string::npos || r.error_occurred) continue;
            // With --benchmark_repetitions, the median stands for them all.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            const std::string kind = name.substr(0, slash);
            const std::string codec = name.substr(slash + 1);
            const auto bytes = r.counters.find("bytes_per_second");
            const double speed = bytes == r.counters.end() ? 0 : bytes->second.value / 1e6;
            if (kind == "encode") gRows[codec].encode = speed;
            if (kind == "decode") gRows[codec].decode = speed;
            if (kind == "stage") {
                gStageRows[codec].milliseconds = r.GetAdjustedCPUTime();  // unit: ms
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// The kind of a corpus file, by its folder and extension.
std::string KindOf(const std::string& name) {
    const std::string ext = std::filesystem::path(name).extension().string();
    if (name.rfind("bin", 0) == 0) return "PE files";
    if (name.rfind("text", 0) == 0) return "text";
    if (ext == ".nls") return "NLS tables";
    if (ext == ".ttf" || ext == ".fon") return "fonts";
    if (ext == ".bmp" || ext == ".png") return "images";
    return "other";
}

// Compressed / original by kind of file, for the codecs that have packed
// the corpus, and how each compares with zlib -9.
void PrintKinds() {
    const char* const codecs[] = {"best", "max", "zlib -9"};
    struct Totals {
        size_t files = 0;
        size_t original = 0;
        std::map<std::string, size_t> packed;
    };
    std::map<std::string, Totals> kinds;
    for (size_t i = 0; i < gCorpus.size(); ++i) {
        for (const std::string& kind : {KindOf(gCorpus[i].name), std::string("all")}) {
            Totals& t = kinds[kind];
            ++t.files;
            t.original += gCorpus[i].data.size();
            for (const char* codec : codecs) {
                const auto found = gPacked.find(codec);
                if (found != gPacked.end() && found->second.size() == gCorpus.size()) {
                    t.packed[codec] += found->second[i].size();
                }
            }
        }
    }
    std::printf("\n%-12s %5s %8s %8s %8s %8s %10s %10s\n", "kind", "files", "MB", "zlib -9",
                "best", "max", "best/zlib", "max/zlib");
    for (const auto& k : kinds) {
        const Totals& t = k.second;
        auto ratio = [&](const char* codec) {
            const auto p = t.packed.find(codec);
            return p == t.packed.end() ? 0.0
                                       : static_cast<double>(p->second) /
                                             static_cast<double>(t.original);
        };
        auto versus = [&](const char* codec) {
            return ratio("zlib -9") > 0 ? ratio(codec) / ratio("zlib -9") : 0.0;
        };
        std::printf("%-12s %5zu %8.1f %8.4f %8.4f %8.4f %10.3f %10.3f\n", k.first.c_str(), t.files,
                    static_cast<double>(t.original) / 1e6, ratio("zlib -9"), ratio("best"),
                    ratio("max"), versus("best"), versus("max"));
    }
}

void PrintTable() {
    std::printf("\n%zu files, %zu bytes\n", gCorpus.size(), gTotal);
    std::printf("%-16s %7s %13s %13s\n", "codec", "ratio", "decode MB/s", "encode MB/s");
    for (const std::string& name : gOrder) {
        const Row& r = gRows[name];
        if (name == "memcpy" || name == "stream") {
            std::printf("%-16s %7s %13.0f %13s\n", name.c_str(), "-", r.decode, "-");
        } else {
            std::printf("%-16s %7.4f %13.0f %13.1f\n", name.c_str(), r.ratio, r.decode, r.encode);
        }
    }
    PrintKinds();
    if (gStageRows.empty()) return;
    // The stages alone, in the streaming decoder's blocks, without the
    // pipeline around them; the output of a stage is the next one's input.
    std::printf("\n%-16s %10s %13s %13s\n", "best, stage", "out MB", "ms per pass",
                "out MB/s");
    double total = 0;
    for (const char* name : kStageNames) {
        const StageRow& s = gStageRows[name];
        total += s.milliseconds;
        std::printf("%-16s %10.1f %13.1f %13.0f\n", name, static_cast<double>(s.bytes) / 1e6,
                    s.milliseconds,
                    s.milliseconds > 0 ? static_cast<double>(s.bytes) / 1e3 / s.milliseconds : 0);
    }
    const double best = gRows["best"].decode;
    std::printf("%-16s %10s %13.1f %13s   (decode/best: %.1f ms)\n", "stages together", "",
                total, "", best > 0 ? static_cast<double>(gTotal) / 1e3 / best : 0);
}

// ---- brute force --------------------------------------------------------

// The counts of one input of the bit-coded stage, its list (most frequent
// first) and its last byte.
struct Census {
    uint64_t counts[256] = {};
    std::vector<int> list;
    int last = -1;
};

Census TakeCensus(const Bytes& data) {
    Census c;
    for (uint8_t b : data) ++c.counts[b];
    for (int b = 0; b < 256; ++b) {
        if (c.counts[b]) c.list.push_back(b);
    }
    std::stable_sort(c.list.begin(), c.list.end(),
                     [&c](int x, int y) { return c.counts[x] > c.counts[y]; });
    if (c.list.empty()) c.list.push_back(0);
    if (!data.empty()) c.last = data.back();
    return c;
}

// Bytes of a bit-coded stage with widths w, counted directly: every list
// place's code length times its count, and the zero byte that a final
// width-0 code ending on a byte boundary needs.
size_t BitStageSize(const Census& c, const int w[3]) {
    const int widths[4] = {w[0], w[1], w[2], 8};
    uint64_t bits = 0;
    int lastWidth = -1;
    for (size_t place = 0; place < c.list.size(); ++place) {
        size_t start = 0;
        int k = 0;
        while (place >= start + (size_t{1} << widths[k])) start += size_t{1} << widths[k++];
        bits += c.counts[c.list[place]] * static_cast<uint64_t>(k + 1 + widths[k]);
        if (c.list[place] == c.last) lastWidth = widths[k];
    }
    size_t bytes = (bits + 7) / 8;
    if (bits > 0 && bits % 8 == 0 && lastWidth == 0) ++bytes;
    return 3 + c.list.size() + bytes;
}

// The smallest content over all stage combinations and widths, and the
// widths' check: the compressor packs the winner to exactly that size and
// it decodes.
size_t BruteForce(const Bytes& data) {
    const CtPacked runs = CtPackRuns(data.data(), data.size());
    const CtPacked refs = CtPackRefs(data.data(), data.size());
    const CtPacked both = CtPackRefs(runs.data.data(), runs.data.size());
    const struct {
        uint8_t flags;
        const Bytes* input;
    } routes[] = {
        {0, &data},
        {kCtStageRuns, &runs.data},
        {kCtStageRefs, &refs.data},
        {kCtStageRuns | kCtStageRefs, &both.data},
    };
    size_t best = 1 + data.size();
    for (const auto& r : routes) {
        const size_t frame = 1 + ((r.flags & kCtStageRuns) ? 1 : 0) + ((r.flags & kCtStageRefs) ? 1 : 0);
        const bool refsFit = !(r.flags & kCtStageRefs) || !(r.flags & kCtStageRuns) ||
                             runs.data.size() <= data.size() + 256;
        if (!refsFit) continue;
        best = std::min(best, frame + r.input->size());
        if (r.input->size() > data.size()) continue;
        const Census census = TakeCensus(*r.input);
        int w[3];
        size_t bestBits = SIZE_MAX;
        int bestW[3] = {0, 0, 0};
        for (w[0] = 0; w[0] <= 8; ++w[0]) {
            for (w[1] = 0; w[1] <= 8; ++w[1]) {
                for (w[2] = 0; w[2] <= 8; ++w[2]) {
                    const size_t n = BitStageSize(census, w);
                    if (n < bestBits) {
                        bestBits = n;
                        std::copy(w, w + 3, bestW);
                    }
                }
            }
        }
        const uint8_t widths[3] = {static_cast<uint8_t>(bestW[0]), static_cast<uint8_t>(bestW[1]),
                                   static_cast<uint8_t>(bestW[2])};
        const CtBitPlan plan = CtPlanBits(r.input->data(), r.input->size(), widths);
        if (plan.size != bestBits ||
            CtPackBits(r.input->data(), r.input->size(), plan).size() != bestBits) {
            std::fprintf(stderr, "brute force: size mismatch\n");
            std::exit(1);
        }
        best = std::min(best, frame + bestBits);
    }
    return best;
}

int RunBruteForce() {
    size_t brute = 0;
    size_t best = 0;
    std::printf("%-32s %12s %12s %12s\n", "file", "original", "best", "brute force");
    for (const File& f : gCorpus) {
        const Bytes packed = CtCompress(f.data.data(), f.data.size());
        Bytes out(f.data.size());
        if (!DecodeWhole(packed, out) || out != f.data) {
            std::fprintf(stderr, "%s: best does not decode\n", f.name.c_str());
            return 1;
        }
        const size_t b = BruteForce(f.data);
        std::printf("%-32s %12zu %12zu %12zu\n", f.name.c_str(), f.data.size(), packed.size(), b);
        best += packed.size();
        brute += b;
    }
    std::printf("\ntotal %zu bytes: best %zu (ratio %.4f), brute force over byte-priced parses "
                "%zu (ratio %.4f), best %+.2f%%\n",
                gTotal, best, static_cast<double>(best) / static_cast<double>(gTotal), brute,
                static_cast<double>(brute) / static_cast<double>(gTotal),
                100.0 * (static_cast<double>(best) / static_cast<double>(brute) - 1.0));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string corpus;
    bool brute = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--corpus=", 0) == 0) {
            corpus = a.substr(9);
        } else if (a == "--brute-force") {
            brute = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (corpus.empty() || !std::filesystem::is_directory(corpus)) {
        std::fprintf(stderr, "usage: codec_bench --corpus=DIR [--brute-force] [benchmark flags]\n");
        return 2;
    }
    gCorpus = LoadCorpus(corpus);
    gTotal = TotalSize(gCorpus);
    if (brute) return RunBruteForce();

    const std::vector<Codec> codecs = Codecs();
    auto named = [&](const char* name) -> const Codec& {
        return *std::find_if(codecs.begin(), codecs.end(),
                             [name](const Codec& c) { return c.name == name; });
    };
    const Codec& best = named("best");
    const Codec& zlib = named("zlib -9");
    for (const Codec& c : codecs) {
        gOrder.push_back(c.name);
        benchmark::RegisterBenchmark(("encode/" + c.name).c_str(), Encode, c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decode/" + c.name).c_str(), Decode, c)
            ->Unit(benchmark::kMillisecond);
    }
    gOrder.push_back("stream");
    benchmark::RegisterBenchmark("decode/stream", Stream, best)->Unit(benchmark::kMillisecond);
    gOrder.push_back("memcpy");
    benchmark::RegisterBenchmark("decode/memcpy", Copy)->Unit(benchmark::kMillisecond);
    for (int stage = 0; stage < 3; ++stage) {
        benchmark::RegisterBenchmark((std::string("stage/") + kStageNames[stage]).c_str(), Stage,
                                     stage, best)
            ->Unit(benchmark::kMillisecond);
    }

    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 2;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintTable();
    if (gRows["best"].decode > 0 && gRows["zlib -9"].decode > 0) PrintPairedRatio(best, zlib);
    return 0;
}
