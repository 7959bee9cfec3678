// The frame, the run and back-reference stages, and the error path.
#include "archive/CtDecompress.h"
#include "archive/CtStageDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive/CtMem.h"
#include "archive/CtStreamDecoder.h"
#include "services/LogRouting.h"
#include "tests/archive/CodecReference.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::string Text(int code) {
    return std::string("Erreur en d\xE9") + "compr\xE9" + "ssion code " + std::to_string(code);
}

Bytes Decode(const Bytes& source, int32_t capacity) {
    const Decoded d = DecodeCaught(source, capacity);
    EXPECT_EQ(d.code, 0);
    return Bytes(d.buffer.begin(), d.buffer.begin() + (d.result > 0 ? d.result : 0));
}

// The destination holds zeros from byte `from` on: behind the content, or
// everywhere after a failure, whatever it held before (DecodeCaught fills
// it with 0xA5).
bool ZerosFrom(const Decoded& d, int32_t from) {
    return std::all_of(d.buffer.begin() + (from > 0 ? from : 0), d.buffer.end(),
                       [](uint8_t b) { return b == 0; });
}

// A failed call answers -1 with the code and leaves zeros only.
void ExpectFailure(const Bytes& source, int32_t capacity, int32_t code) {
    const Decoded d = DecodeCaught(source, capacity);
    EXPECT_EQ(d.result, -1);
    EXPECT_EQ(d.code, code);
    EXPECT_TRUE(ZerosFrom(d, 0)) << "destination not cleared";
}

TEST(CtDecompress, PlainFrameCopiesTheStageData) {
    EXPECT_EQ(Decode({0x00, 1, 2, 3}, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(Decode({0x00}, 0), Bytes{});
    // Bits outside 0x10, 0x20 and 0x40 are not looked at.
    EXPECT_EQ(Decode({0x8F, 'x'}, 1), Str("x"));
    // A shorter content leaves zeros behind it.
    const Decoded d = DecodeCaught({0x00, 7}, 4);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.buffer, (Bytes{7, 0, 0, 0}));
}

TEST(CtDecompress, RunStage) {
    EXPECT_EQ(Decode({0x20, 0xFF, 0x41, 0xFF, 0x03}, 4), (Bytes{0x41, 0x41, 0x41, 0x41}));
    EXPECT_EQ(Decode({0x20, 0xFF, 0xFF, 0xFF}, 1), (Bytes{0xFF}));
    EXPECT_EQ(Decode({0x20, 0xFF, 0xFF, 0x00}, 0), Bytes{});
    // A run before any literal repeats 0.
    EXPECT_EQ(Decode({0x20, 0xFF, 0xFF, 0x02, 0x41}, 3), (Bytes{0, 0, 0x41}));
    // A literal escape counts as the last literal; a run does not change it.
    EXPECT_EQ(Decode({0x20, 7, 1, 7, 7, 7, 2, 7, 1}, 5), (Bytes{1, 7, 7, 7, 7}));
    EXPECT_EQ(Decode({0x20, 7, 1, 7, 2, 7, 1}, 4), (Bytes{1, 1, 1, 1}));
    // 255 copies at most per escape, filled in one go.
    Bytes want(1 + 255 + 255, 'z');
    EXPECT_EQ(Decode({0x20, 0, 'z', 0, 255, 0, 255}, 511), want);
}

TEST(CtDecompress, BackReferenceStage) {
    EXPECT_EQ(Decode({0x40, 0xFE, 0x61, 0x62, 0xFE, 0x02, 0x04}, 6), Str("ababab"));
    EXPECT_EQ(Decode({0x40, 0xFE, 0xFE, 0xFE}, 1), (Bytes{0xFE}));
    EXPECT_EQ(Decode({0x40, 0xFE, 'a', 0xFE, 0x01, 0x05}, 6), Str("aaaaaa"));
    EXPECT_EQ(Decode({0x40, 0xFE, 'a', 'b', 'c', 0xFE, 0x02, 0x00, 'd'}, 4), Str("abcd"));
    // Distance 0 names the byte being produced, 0 in a zero-filled area.
    EXPECT_EQ(Decode({0x40, 0xFE, 'a', 0xFE, 0x00, 0x03}, 4), (Bytes{'a', 0, 0, 0}));
    ExpectFailure({0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01}, 8, 61);
}

TEST(CtDecompress, StagesAreUndoneBitsThenReferencesThenRuns) {
    // Run escape 0xFF first, then reference escape 0xFE; the back-reference
    // stage passes 0xFF 0x03 on to the run stage as ordinary bytes.
    const Bytes both = {0x60, 0xFF, 0xFE, 0x61, 0x62, 0xFE, 0x02, 0x04, 0xFF, 0x03};
    EXPECT_EQ(Decode(both, 9), Str("abababbbb"));
    // The same through the bit-coded stage: list a b FE 02 04 FF 03 in one
    // class of width 3, codes 1000 to 1110, four fill bits.
    const Bytes all = {0x70, 0xFF, 0xFE, 0x30, 0x00, 0x07, 0x61, 0x62, 0xFE, 0x02,
                       0x04, 0xFF, 0x03, 0x89, 0xAB, 0xCD, 0xE0};
    EXPECT_EQ(Decode(all, 9), Str("abababbbb"));
    ExpectFailure(all, 8, 25);
}

TEST(CtDecompress, ErrorTextGoesToChannel69ThenChannel0) {
    struct Journal : LogReceiver {
        Journal(uint16_t id, std::vector<std::string>* lines) : LogReceiver(id), lines(lines) {
            AttachLogReceiver(this);
        }
        ~Journal() override { DetachLogReceiver(this); }
        void Log(const char* text) override {
            lines->push_back(std::to_string(identifier) + ":" + text);
        }
        std::vector<std::string>* lines;
    };
    std::vector<std::string> lines;
    Journal all(kLogAll, &lines);
    Journal archive(kLogArchive, &lines);
    Bytes out(8, 0);
    const Bytes bad = {0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01};
    EXPECT_EQ(CtDecompress(bad.data(), static_cast<int32_t>(bad.size()), out.data(), 8), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"69:" + Text(61), "0:" + Text(61)}));
    lines.clear();
    const Bytes good = {0x00, 'o', 'k'};
    EXPECT_EQ(CtDecompress(good.data(), 3, out.data(), 8), 2);
    EXPECT_TRUE(lines.empty());
}

// Where the format trusts its data: every stage stays within its input and
// its target, and a call that fails leaves zeros only.
TEST(CtDecompress, RefusesDataThatWouldReadOrWriteOutOfBounds) {
    // A frame cut short.
    ExpectFailure({}, 4, kCtErrorTruncated);
    ExpectFailure({0x20}, 4, kCtErrorTruncated);
    ExpectFailure({0x60, 0xFF}, 4, kCtErrorTruncated);
    // An escape without its operands, in the last byte or two.
    ExpectFailure({0x20, 0xFF, 0x41, 0xFF}, 4, kCtErrorTruncated);
    ExpectFailure({0x40, 0xFE, 0x61, 0xFE}, 4, kCtErrorTruncated);
    ExpectFailure({0x40, 0xFE, 0x61, 0xFE, 0x01}, 4, kCtErrorTruncated);
    // The run stage finds a cut escape even behind an excess of output.
    ExpectFailure({0x20, 0xFF, 0x41, 0xFF, 0x50, 0xFF}, 4, kCtErrorTruncated);
    // More output than the destination holds: run stage, final copy.
    ExpectFailure({0x20, 0xFF, 0x41, 0xFF, 0x05}, 5, kCtErrorCapacity);
    EXPECT_EQ(Decode({0x20, 0xFF, 0x41, 0xFF, 0x05}, 6), Bytes(6, 0x41));
    ExpectFailure({0x00, 1, 2, 3}, 2, kCtErrorCapacity);
    // The back-reference stage fills its scratch area: unpacked size + 256.
    Bytes refs = {0x40, 0xFE, 'a'};
    for (int i = 0; i < 2; ++i) refs.insert(refs.end(), {0xFE, 0x01, 0xFF});
    ExpectFailure(refs, 0, kCtErrorCapacity);
    ExpectFailure(refs, 254, kCtErrorCapacity);
    EXPECT_EQ(Decode(refs, 511), Bytes(511, 'a'));
    // ... which holds more than the unpacked size, for the run stage to
    // shrink: 200 literal escapes pass the back-reference stage as 400
    // bytes and leave the run stage as 200.
    Bytes doubled = {0x60, 0x00, 0xFE};
    for (int i = 0; i < 200; ++i) doubled.insert(doubled.end(), {0x00, 0x00});
    EXPECT_EQ(Decode(doubled, 200), Bytes(200, 0x00));
    doubled.insert(doubled.end(), 100, 0x00);
    ExpectFailure(doubled, 200, kCtErrorCapacity);
}

TEST(CtDecode, RefusesCapacitiesWithoutABlockToHoldTheContent) {
    // Negative, or beyond the largest block: the call fails before it
    // allocates or writes anything, after the frame has been read.
    const uint8_t plain[] = {0x00, 1};
    const uint8_t refs[] = {0x40, 0xFE, 1};
    const struct {
        const uint8_t* source;
        int32_t capacity;
    } cases[] = {{plain, -1}, {plain, INT32_MIN}, {plain, INT32_MAX}, {plain, INT32_MAX - 255},
                 {refs, -1}, {refs, CtMem::kMaxRequest + 1}};
    for (const auto& c : cases) {
        uint8_t out[4] = {0xA5, 0xA5, 0xA5, 0xA5};
        CtCompressExcept error{0};
        EXPECT_EQ(CtDecode(c.source, c.source == plain ? 2 : 3, out, c.capacity, &error), -1);
        EXPECT_EQ(error.code, kCtErrorMemory) << c.capacity;
        EXPECT_EQ(out[0], 0xA5);
    }
    CtCompressExcept error{0};
    EXPECT_EQ(CtDecode(refs, 1, nullptr, -1, &error), -1);
    EXPECT_EQ(error.code, kCtErrorTruncated);
}

TEST(CtExpandRuns, ReportsACutEscapeBeforeAnExcessOfOutput) {
    const Bytes in = {0x41, 0xFF, 0x02, 0x42, 0xFF, 0x09};
    CtCompressExcept error{0};
    Bytes out(4);
    EXPECT_EQ(CtExpandRuns(0xFF, in.data(), 6, out.data(), 4, &error), -1);
    EXPECT_EQ(error.code, kCtErrorCapacity);
    EXPECT_EQ(CtExpandRuns(0xFF, in.data(), 5, out.data(), 4, &error), -1);
    EXPECT_EQ(error.code, kCtErrorTruncated);
    // Escapes at the end pair off from the first one on: literal escapes,
    // then one without its count.
    const Bytes escapes = {0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (int32_t n = 1; n <= 6; ++n) {
        error.code = 0;
        const int32_t want = n % 2 == 0 ? -1 : 1 + (n - 1) / 2;
        EXPECT_EQ(CtExpandRuns(0xFF, escapes.data(), n, out.data(), 4, &error), want) << n;
        EXPECT_EQ(error.code, want < 0 ? kCtErrorTruncated : 0) << n;
    }
    // An escape behind a count begins a sequence of its own.
    const Bytes count = {0xFF, 0x02, 0xFF};
    EXPECT_EQ(CtExpandRuns(0xFF, count.data(), 3, out.data(), 4, &error), -1);
    EXPECT_EQ(error.code, kCtErrorTruncated);
    Bytes fits(13, 0xA5);
    error.code = 0;
    EXPECT_EQ(CtExpandRuns(0xFF, in.data(), 6, fits.data(), 13, &error), 13);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(fits, (Bytes{0x41, 0x41, 0x41, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42,
                           0x42, 0x42}));
}

// Every distance and count against the reference, followed by 0 to 11
// literals, in a target with exactly the room for the output or a few bytes
// more: word copies of references and literals meet the end of the area.
TEST(CtExpandRefs, EveryDistanceAndCountMatchesTheReference) {
    for (int distance = 1; distance <= 40; ++distance) {
        for (int count = 1; count <= 255; count += (count < 24 ? 1 : 23)) {
            for (int tail = 0; tail < 12; ++tail) {
                Bytes in;
                for (int i = 0; i < 40; ++i) in.push_back(static_cast<uint8_t>('A' + i % 26));
                in.insert(in.end(), {0xFE, static_cast<uint8_t>(distance),
                                     static_cast<uint8_t>(count)});
                for (int i = 0; i < tail; ++i) in.push_back(static_cast<uint8_t>('a' + i));
                const int32_t want = 40 + count + tail;
                Bytes frame = {0x40, 0xFE};
                frame.insert(frame.end(), in.begin(), in.end());
                const ReferenceResult r = ReferenceDecompress(frame.data(), frame.size(), want);
                ASSERT_EQ(r.code, 0);
                for (int slack : {0, 1, 7, 8, 9}) {
                    Bytes out(static_cast<size_t>(want + slack));
                    CtCompressExcept error{0};
                    ASSERT_EQ(CtExpandRefs(0xFE, in.data(), static_cast<int32_t>(in.size()),
                                           out.data(), want + slack, &error),
                              want);
                    out.resize(static_cast<size_t>(want));
                    ASSERT_EQ(out, r.bytes) << "distance " << distance << " count " << count;
                }
            }
        }
    }
}

// Random frames whose stage data is rich in escapes: the decoder and the
// reference agree on the bytes or on the error, with zeros behind the
// content or, after a failure, everywhere.
TEST(CtDecompress, AgreesWithTheReferenceOnRandomFrames) {
    std::mt19937 rng(1234);
    int failures = 0;
    for (int round = 0; round < 6000; ++round) {
        const uint8_t flags = static_cast<uint8_t>((rng() % 4) << 5);
        const uint8_t runEscape = static_cast<uint8_t>(rng() % 4);
        const uint8_t refEscape = static_cast<uint8_t>(rng() % 4);
        Bytes source = {flags};
        if (flags & kCtStageRuns) source.push_back(runEscape);
        if (flags & kCtStageRefs) source.push_back(refEscape);
        const size_t length = rng() % 64;
        for (size_t i = 0; i < length; ++i) {
            source.push_back(static_cast<uint8_t>(rng() % 3 == 0 ? rng() % 4 : rng() % 40));
        }
        if (rng() % 8 == 0) source.resize(rng() % (source.size() + 1));
        const int32_t capacity = static_cast<int32_t>(rng() % 300);
        const ReferenceResult want = ReferenceDecompress(source.data(), source.size(), capacity);
        const Decoded got = DecodeCaught(source, capacity);
        ASSERT_EQ(got.code, want.code) << "round " << round;
        if (want.code != 0) {
            ++failures;
            ASSERT_EQ(got.result, -1);
        } else {
            ASSERT_EQ(got.result, static_cast<int32_t>(want.bytes.size()));
            ASSERT_TRUE(std::equal(want.bytes.begin(), want.bytes.end(), got.buffer.begin()));
        }
        ASSERT_TRUE(ZerosFrom(got, got.result)) << "round " << round;
        // Streaming, with blocks that cut escape sequences, references and
        // runs at every place.
        for (int32_t block : {1, 2, 3, 4, 5, 8, 13, 300}) {
            ASSERT_EQ(CompareStreaming(source, capacity, block), "") << "round " << round;
        }
    }
    // Both outcomes must have been exercised in quantity.
    EXPECT_GT(failures, 600);
    EXPECT_LT(failures, 5400);
}

// Long stage data, where the byte stages take their wide steps: literal
// stretches of every length, references of every distance (an odd one too
// far back) and count, runs, literal escapes, and now and then a cut; the
// capacity is the output's size, a little less or a little more, so that
// the wide steps meet the end of their target.
TEST(CtDecompress, AgreesWithTheReferenceOnLongStageData) {
    std::mt19937 rng(77);
    int failures = 0;
    for (int round = 0; round < 600; ++round) {
        const uint8_t flags = static_cast<uint8_t>((1 + rng() % 3) << 5);
        const uint8_t escape = static_cast<uint8_t>(rng());
        Bytes source = {flags};
        if (flags & kCtStageRuns) source.push_back(escape);
        if (flags & kCtStageRefs) source.push_back(static_cast<uint8_t>(escape + 1));
        const size_t length = 200 + rng() % 5000;
        size_t produced = 0;  // roughly: what the back-reference stage has made
        while (source.size() < length) {
            const uint32_t pick = rng() % 16;
            if (pick < 8) {
                for (uint32_t n = rng() % 40; n > 0; --n) {
                    source.push_back(static_cast<uint8_t>(escape + 2 + rng() % 200));
                }
                produced += 20;
            } else if (pick < 10 && (flags & kCtStageRuns)) {
                source.insert(source.end(), {escape, static_cast<uint8_t>(rng() % 256)});
            } else if (pick < 14 && (flags & kCtStageRefs)) {
                const uint32_t reach = static_cast<uint32_t>(std::min<size_t>(produced, 255));
                uint32_t distance = rng() % 300 == 0 ? 255 : rng() % (reach + 1);
                if (distance == static_cast<uint8_t>(escape + 1)) distance = 1;
                source.insert(source.end(), {static_cast<uint8_t>(escape + 1),
                                             static_cast<uint8_t>(distance),
                                             static_cast<uint8_t>(rng() % 256)});
            } else {
                const uint8_t e = (flags & kCtStageRuns) ? escape : escape + 1;
                source.insert(source.end(), {e, e});
            }
        }
        if (rng() % 10 == 0) source.resize(source.size() - 1 - rng() % 2);
        const ReferenceResult whole = ReferenceDecompress(source.data(), source.size(), 1 << 24);
        const int32_t n = static_cast<int32_t>(whole.bytes.size());
        const int32_t capacity = std::max(0, n - 8 + static_cast<int32_t>(rng() % 17));
        const ReferenceResult want = ReferenceDecompress(source.data(), source.size(), capacity);
        const Decoded got = DecodeCaught(source, capacity);
        ASSERT_EQ(got.code, want.code) << "round " << round;
        if (want.code != 0) {
            ++failures;
        } else {
            ASSERT_EQ(got.result, static_cast<int32_t>(want.bytes.size()));
            ASSERT_TRUE(std::equal(want.bytes.begin(), want.bytes.end(), got.buffer.begin()));
        }
        ASSERT_TRUE(ZerosFrom(got, got.result)) << "round " << round;
        // Blocks shorter than the history, around the wide steps' room, and
        // long ones.
        const int32_t blocks[] = {1 + round % 7, 250 + round % 12, 280 + round % 30,
                                  1000 + round % 77, CtStreamDecoder::kDefaultBlock};
        for (int32_t block : blocks) {
            ASSERT_EQ(CompareStreaming(source, capacity, block), "") << "round " << round;
        }
    }
    EXPECT_GT(failures, 150);
    EXPECT_LT(failures, 450);
}

}  // namespace

namespace {

// The error of the earliest stage wins, wherever the later stages found
// theirs: the streaming decoder finishes the earlier stages first.
TEST(CtStreamDecoder, ReportsTheErrorOfTheEarliestStage) {
    // Bit-coded (w0 = 2: a = 100, FE = 101, 02 = 110, 01 = 111), then
    // back-reference with escape FE: the symbols a FE 02 01 make a
    // reference beyond the output (61) at once, and a 0000 prefix further
    // on is the bit-coded stage's error (21).
    const Bytes late21 = {0x50, 0xFE, 0x20, 0x00, 0x04, 'a', 0xFE, 0x02, 0x01,
                          0x97, 0x70, 0x08, 0x00};
    const Bytes only61 = {0x50, 0xFE, 0x20, 0x00, 0x04, 'a', 0xFE, 0x02, 0x01, 0x97, 0x70};
    // A run beyond the capacity (25), then an escape cut by the end of the
    // back-reference stage's input (62).
    const Bytes late62 = {0x60, 0xFF, 0xFE, 'a', 0xFF, 0x09, 'b', 'c', 0xFE};
    // Output of the back-reference stage beyond the capacity, then a cut
    // run escape: the run stage's 62 comes before its 25.
    const Bytes runs62 = {0x60, 0xFF, 0xFE, 'a', 0xFE, 0x01, 0x20, 0xFF};
    const struct {
        const Bytes* source;
        int32_t capacity;
        int32_t code;
    } cases[] = {{&late21, 10, kCtErrorPrefix}, {&only61, 10, kCtErrorReference},
                 {&late62, 4, kCtErrorTruncated}, {&runs62, 8, kCtErrorTruncated}};
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeCaught(*c.source, c.capacity).code, c.code);
        for (int32_t block = 1; block <= 4; ++block) {
            EXPECT_EQ(StreamCaught(*c.source, c.capacity, block).code, c.code) << block;
        }
    }
}

TEST(CtStreamDecoder, StopsWhenTheSinkAsks) {
    struct TwoPieces : CtSink {
        int32_t Write(const uint8_t*, int32_t) override { return ++writes < 2; }
        int writes = 0;
    } sink;
    // 'a' and 1000 more, handed on in pieces of 100.
    Bytes runs = {0x20, 0xFF, 'a', 0xFF, 250, 0xFF, 250, 0xFF, 250, 0xFF, 250};
    CtStreamDecoder decoder(100);
    CtCompressExcept error{0};
    EXPECT_EQ(decoder.Decode(runs.data(), static_cast<int32_t>(runs.size()), 1001, &sink, &error),
              -1);
    EXPECT_EQ(error.code, kCtErrorStopped);
    EXPECT_EQ(sink.writes, 2);
}

// Up to 2 GiB - 1 bytes, in the decoder's blocks: 20 MB of runs with a
// capacity that CtDecode refuses.
TEST(CtStreamDecoder, TakesAnyCapacityInItsBlocks) {
    struct Counter : CtSink {
        int32_t Write(const uint8_t* data, int32_t length) override {
            largest = std::max(largest, length);
            for (int32_t i = 0; i < length; ++i) wrong += data[i] != 'a';
            total += length;
            return 1;
        }
        int64_t total = 0;
        int64_t wrong = 0;
        int32_t largest = 0;
    } sink;
    Bytes runs = {0x20, 0xFF, 'a'};
    for (int i = 0; i < 80000; ++i) runs.insert(runs.end(), {0xFF, 250});
    CtStreamDecoder decoder;
    CtCompressExcept error{0};
    EXPECT_EQ(decoder.Decode(runs.data(), static_cast<int32_t>(runs.size()), INT32_MAX, &sink,
                             &error),
              20000001);
    EXPECT_EQ(sink.total, 20000001);
    EXPECT_EQ(sink.wrong, 0);
    EXPECT_LE(sink.largest, CtStreamDecoder::kDefaultBlock);
    uint8_t out[1];
    EXPECT_EQ(CtDecode(runs.data(), static_cast<int32_t>(runs.size()), out, INT32_MAX, &error),
              -1);
    EXPECT_EQ(error.code, kCtErrorMemory);
}

}  // namespace
