// The compressor: every stage combination decodes back to its input, the
// bit-coded stage's endings hold for every width, and the choice of stages
// never costs more than the plain frame.
#include "archive/CtCompress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "archive/CtBitDecoder.h"
#include "archive/CtStageDecode.h"
#include "archive/CtStreamDecoder.h"
#include "tests/archive/CodecReference.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kAllStages[] = {
    0,
    kCtStageBits,
    kCtStageRuns,
    kCtStageRefs,
    kCtStageRuns | kCtStageBits,
    kCtStageRefs | kCtStageBits,
    kCtStageRuns | kCtStageRefs,
    kCtStageRuns | kCtStageRefs | kCtStageBits,
};

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Decodes content with the input's size as capacity, whole, streaming (in
// blocks of every kind of size) and by the reference, and checks that each
// gives the input back.
void ExpectRoundTrip(const Bytes& input, const Bytes& content, const std::string& what) {
    const int32_t size = static_cast<int32_t>(input.size());
    const Decoded d = DecodeCaught(content, size);
    ASSERT_EQ(d.code, 0) << what;
    ASSERT_EQ(d.result, size) << what;
    ASSERT_TRUE(d.buffer == input) << what;
    const ReferenceResult r = ReferenceDecompress(content.data(), content.size(), size);
    ASSERT_EQ(r.code, 0) << what;
    ASSERT_TRUE(r.bytes == input) << what;
    const int32_t small = input.size() < 4000 ? 1 + size % 5 : 289;
    for (int32_t block : {small, 4093, CtStreamDecoder::kDefaultBlock}) {
        ASSERT_EQ(CompareStreaming(content, size, block), "") << what;
    }
}

// Every combination, and the best, for one input. Answers the size of the
// best content.
size_t CheckAllStages(const Bytes& input, const std::string& what) {
    size_t smallest = SIZE_MAX;
    size_t smallestWithoutBits = SIZE_MAX;
    for (uint8_t stages : kAllStages) {
        const Bytes content = CtCompress(input.data(), input.size(), stages);
        if (content.empty()) continue;  // checked by DecoderBoundsAreRespected
        EXPECT_EQ(content[0], stages) << what;
        ExpectRoundTrip(input, content, what + " stages " + std::to_string(stages));
        smallest = std::min(smallest, content.size());
        if ((stages & kCtStageBits) == 0) {
            smallestWithoutBits = std::min(smallestWithoutBits, content.size());
        }
    }
    // The levels price the back-reference parse in bits: kMax never gives
    // more than the smallest route of byte-priced parses; kDefault no more
    // than the smallest route without the bit-coded stage, nor than the
    // smallest with it and its charge of 1/16 of that stage's input (at
    // most the unpacked size + 256).
    const Bytes best = CtCompress(input.data(), input.size());
    ExpectRoundTrip(input, best, what + " best");
    EXPECT_LE(best.size(), smallestWithoutBits) << what;
    EXPECT_LE(best.size(), smallest + (input.size() + 256) / 16) << what;
    EXPECT_LE(best.size(), input.size() + 1) << what;
    if (input.size() <= 64 * 1024) {
        const Bytes max = CtCompress(input.data(), input.size(), CtLevel::kMax);
        ExpectRoundTrip(input, max, what + " max");
        EXPECT_LE(max.size(), smallest) << what;
    }
    return best.size();
}

Bytes Random(size_t size, uint32_t seed, uint32_t alphabet = 256) {
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b) x = static_cast<uint8_t>(rng() % alphabet);
    return b;
}

Bytes Text(size_t size) {
    static const char* const kWords[] = {"installation ", "du ", "programme ", "fichier ",
                                         "le ", "temporaire ", "Velmar ", "\r\n",
                                         "setup ", "de ", "la ", "version "};
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < size) s += kWords[rng() % 12];
    s.resize(size);
    return Str(s);
}

Bytes ReadFile(const std::string& path, size_t limit) {
    Bytes b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return b;
    b.resize(limit);
    b.resize(std::fread(b.data(), 1, limit, f));
    std::fclose(f);
    return b;
}

// Regular files of a folder, sorted; none when it is missing.
std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(folder + "\\" + found.cFileName);
        }
    } while (FindNextFileA(h, &found));
    FindClose(h);
#else
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') names.push_back(folder + "/" + e->d_name);
    }
    closedir(d);
#endif
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CtCompress, SmallAndDegenerateInputs) {
    CheckAllStages({}, "empty");
    for (int b = 0; b < 256; ++b) {
        CheckAllStages({static_cast<uint8_t>(b)}, "byte " + std::to_string(b));
    }
    Bytes every;
    for (int b = 0; b < 256; ++b) every.push_back(static_cast<uint8_t>(b));
    CheckAllStages(every, "every byte value");
    every.insert(every.end(), every.rbegin(), every.rend());
    CheckAllStages(every, "every byte value twice");
    // An empty input is the plain frame alone.
    EXPECT_EQ(CtCompress(nullptr, 0), Bytes{0x00});
}

TEST(CtCompress, Runs) {
    for (size_t n : {2u, 3u, 4u, 255u, 256u, 257u, 511u, 600u, 70000u}) {
        EXPECT_LT(CheckAllStages(Bytes(n, 'a'), "a x " + std::to_string(n)), 16u + n / 8);
        CheckAllStages(Bytes(n, 0), "0 x " + std::to_string(n));
    }
    // Runs of the escape byte itself, and runs whose count would equal the
    // escape: with 0..10 present and 11 absent, 11 is the escape and a run
    // of twelve adds eleven copies. Runs of up to 8 repetitions stay
    // literals.
    Bytes tricky = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (int len = 1; len < 16; ++len) tricky.insert(tricky.end(), static_cast<size_t>(len), 'x');
    tricky.insert(tricky.end(), 12, 'y');
    CheckAllStages(tricky, "count equal to the escape");
    const CtPacked runs = CtPackRuns(tricky.data(), tricky.size());
    EXPECT_EQ(runs.escape, 11);
    Bytes shortRun(9, 'x');
    shortRun.resize(19, 'z');
    Bytes packed(9, 'x');
    for (uint8_t b : {'z', '\0', '\x09'}) packed.push_back(b);
    EXPECT_EQ(CtPackRuns(shortRun.data(), shortRun.size()).data, packed);
    Bytes onlyEscape(300, 5);
    onlyEscape.push_back(9);
    CheckAllStages(onlyEscape, "runs of the escape");
}

TEST(CtCompress, EscapeHeavyData) {
    // Every byte value equally often, so that the escape is as common as
    // any byte, in runs and in repeated strings.
    Bytes b;
    for (int r = 0; r < 40; ++r) {
        for (int v = 0; v < 256; ++v) b.push_back(static_cast<uint8_t>(v * 7 + r));
    }
    CheckAllStages(b, "flat");
    Bytes runs;
    for (int v = 0; v < 256; ++v) runs.insert(runs.end(), 5, static_cast<uint8_t>(v));
    CheckAllStages(runs, "flat runs");
    // Repeats at distance 3 while 3 is the escape: the reference stage must
    // reach for distance 6 instead.
    Bytes period3;
    for (int i = 0; i < 3000; ++i) period3.push_back(static_cast<uint8_t>("\x00\x01\x02"[i % 3]));
    for (int v = 4; v < 256; ++v) period3.push_back(static_cast<uint8_t>(v));
    const CtPacked refs = CtPackRefs(period3.data(), period3.size());
    EXPECT_EQ(refs.escape, 3);
    EXPECT_LT(refs.data.size(), 600u);
    CheckAllStages(period3, "period equal to the escape");
}

TEST(CtCompress, RandomTextAndStructuredData) {
    for (size_t n : {1u, 7u, 100u, 4096u, 100000u}) {
        const size_t best = CheckAllStages(Random(n, static_cast<uint32_t>(n)), "random");
        EXPECT_LE(best, n + 1);
    }
    for (uint32_t alphabet : {2u, 3u, 17u, 100u}) {
        CheckAllStages(Random(20000, alphabet, alphabet), "alphabet " + std::to_string(alphabet));
    }
    const Bytes text = Text(50000);
    EXPECT_LT(CheckAllStages(text, "text"), text.size() / 2);
    // Words of 16-bit values, a table of offsets: the kind of data in a PE.
    Bytes table;
    for (uint32_t i = 0; i < 5000; ++i) {
        const uint32_t v = 0x401000 + i * 12;
        for (int k = 0; k < 4; ++k) table.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    CheckAllStages(table, "offset table");
}

TEST(CtCompress, ProgramsAndCorpusFiles) {
    // This test program itself (a PE under Wine), and slices of the
    // benchmark corpus when it has been made.
    const Bytes self = ReadFile(VEL_TEST_PROGRAM, 400000);
    ASSERT_GT(self.size(), 10000u);
    CheckAllStages(self, "test program");
    std::vector<std::string> files;
    for (const char* folder : {"/bin", "/data", "/text", "/img"}) {
        for (const std::string& name : ListFolder(VEL_CORPUS_DIR + std::string(folder))) {
            files.push_back(name);
        }
    }
    for (size_t i = 0; i < files.size(); i += 3) {
        CheckAllStages(ReadFile(files[i], 48 * 1024), files[i]);
    }
}

TEST(CtCompress, DecoderBoundsAreRespected) {
    // Random data grows under the run stage (each escape doubled) beyond
    // what the bit-coded stage may give back (the unpacked size) and beyond
    // what the back-reference stage may (256 more): those routes are
    // refused, and the best content still decodes.
    const Bytes noise = Random(200000, 5);
    const CtPacked runs = CtPackRuns(noise.data(), noise.size());
    ASSERT_GT(runs.data.size(), noise.size() + 256);
    EXPECT_TRUE(CtCompress(noise.data(), noise.size(), kCtStageRuns | kCtStageBits).empty());
    EXPECT_TRUE(CtCompress(noise.data(), noise.size(), kCtStageRuns | kCtStageRefs).empty());
    EXPECT_FALSE(CtCompress(noise.data(), noise.size(), kCtStageRuns).empty());
    ExpectRoundTrip(noise, CtCompress(noise.data(), noise.size()), "noise");
}

// What an output costs in the given prices: each byte its price.
uint64_t Price(const Bytes& out, const uint8_t prices[256]) {
    uint64_t sum = 0;
    for (uint8_t b : out) sum += prices[b];
    return sum;
}

// The priced parse decodes back to its input for any prices, short counts
// and 3-byte matches included; at kMax, which sees every match of the
// window, it never costs more in its prices than the byte-priced parse.
TEST(CtPackRefs, PricedParseDecodesAndCostsNoMore) {
    std::mt19937 rng(11);
    const Bytes inputs[] = {Text(20000), Random(5000, 3, 4), Random(3000, 4), Bytes(2000, 0),
                            Str("abcabdabcabeabc"), Bytes{}};
    for (const Bytes& in : inputs) {
        for (int round = 0; round < 6; ++round) {
            uint8_t prices[256];
            for (uint8_t& p : prices) p = static_cast<uint8_t>(round == 0 ? 8 : 2 + rng() % 11);
            const uint8_t escape = CtRarestByte(in.data(), in.size());
            for (CtLevel level : {CtLevel::kDefault, CtLevel::kMax}) {
                const CtPacked priced = CtPackRefs(in.data(), in.size(), escape, prices, level);
                ASSERT_EQ(priced.escape, escape);
                Bytes out(in.size() + 1);
                CtCompressExcept error{0};
                ASSERT_EQ(CtExpandRefs(escape, priced.data.data(),
                                       static_cast<int32_t>(priced.data.size()), out.data(),
                                       static_cast<int32_t>(in.size()), &error),
                          static_cast<int32_t>(in.size()));
                out.resize(in.size());
                ASSERT_EQ(out, in);
                if (level == CtLevel::kMax) {
                    const CtPacked bytes = CtPackRefs(in.data(), in.size());
                    EXPECT_LE(Price(priced.data, prices), Price(bytes.data, prices));
                }
            }
        }
    }
}

// Every width triple, with stream lengths that end at every bit of a byte
// and with last symbols of every class: the packed stage has the planned
// size and decodes to exactly its input.
TEST(CtPackBits, EveryWidthAndEveryEnding) {
    std::mt19937 rng(3);
    std::vector<Bytes> inputs;
    for (int n = 0; n < 24; ++n) inputs.push_back(Random(static_cast<size_t>(n), rng(), 5));
    for (int n = 1; n < 12; ++n) inputs.push_back(Random(static_cast<size_t>(n * 37), rng(), 40));
    Bytes skew(300, 'e');
    for (int v = 0; v < 256; ++v) skew.push_back(static_cast<uint8_t>(v));
    inputs.push_back(skew);
    uint8_t w[3];
    for (w[0] = 0; w[0] <= 8; ++w[0]) {
        for (w[1] = 0; w[1] <= 8; ++w[1]) {
            for (w[2] = 0; w[2] <= 8; ++w[2]) {
                for (const Bytes& in : inputs) {
                    const CtBitPlan plan = CtPlanBits(in.data(), in.size(), w);
                    const Bytes stage = CtPackBits(in.data(), in.size(), plan);
                    ASSERT_EQ(stage.size(), plan.size);
                    Bytes out(in.size() + 256);
                    CtCompressExcept error{0};
                    const int32_t n =
                        CtBitDecode(stage.data(), static_cast<int32_t>(stage.size()), out.data(),
                                    static_cast<int32_t>(in.size()), &error);
                    ASSERT_GE(n, 0) << error.code;
                    out.resize(static_cast<size_t>(n));
                    ASSERT_EQ(out, in) << int(w[0]) << int(w[1]) << int(w[2]);
                }
            }
        }
    }
}

TEST(CtPlanBits, ChoosesTheSmallestWidths) {
    for (uint32_t seed = 0; seed < 6; ++seed) {
        Bytes in = Random(3000 + seed * 500, seed, 8 + seed * 40);
        for (size_t i = 0; i < in.size(); i += 3) in[i] = static_cast<uint8_t>(seed);
        const CtBitPlan best = CtPlanBits(in.data(), in.size());
        size_t smallest = SIZE_MAX;
        uint8_t w[3];
        for (w[0] = 0; w[0] <= 8; ++w[0]) {
            for (w[1] = 0; w[1] <= 8; ++w[1]) {
                for (w[2] = 0; w[2] <= 8; ++w[2]) {
                    smallest = std::min(smallest, CtPlanBits(in.data(), in.size(), w).size);
                }
            }
        }
        EXPECT_EQ(best.size, smallest);
        EXPECT_EQ(CtPackBits(in.data(), in.size(), best).size(), best.size);
    }
}

}  // namespace
