// The bit-coded stage: header, codes, end rules, and the table path held
// against the bit-by-bit reference.
#include "archive/CtBitDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive/CtDecompress.h"
#include "archive/CtStageDecode.h"
#include "archive/CtStreamDecoder.h"
#include "tests/archive/CodecReference.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Header for widths w0, w1, w2 and a list, then the stream.
Bytes Stage(int w0, int w1, int w2, const std::string& list, const Bytes& stream) {
    Bytes s = {static_cast<uint8_t>(w0 << 4 | w1), static_cast<uint8_t>(w2),
               static_cast<uint8_t>(list.size() == 256 ? 0 : list.size())};
    s.insert(s.end(), list.begin(), list.end());
    s.insert(s.end(), stream.begin(), stream.end());
    return s;
}

// Decodes from an exactly sized heap copy, so that a read past the stage
// data is a sanitizer report, through the host's window and through the
// 32-bit one (the i686 stub's), which must answer the same; answers the
// text, or "!code".
std::string Decode(const Bytes& stage, int32_t capacity = 1000) {
    const Bytes copy(stage);
    std::string answers[2];
    for (const bool narrow : {false, true}) {
        Bytes out(static_cast<size_t>(capacity) + 256, 0);
        CtCompressExcept error{0};
        const int32_t n = CtBitDecode(copy.data(), static_cast<int32_t>(copy.size()), out.data(),
                                      capacity, &error, narrow);
        answers[narrow] = n < 0 ? "!" + std::to_string(error.code)
                                : std::string(out.begin(), out.begin() + n);
        if (n >= 0) {
            EXPECT_EQ(error.code, 0);
        }
    }
    EXPECT_EQ(answers[1], answers[0]) << "through the 32-bit window";
    return answers[0];
}

// The stage through the 32-bit window in rooms of `room` symbols, as the
// streaming decoder asks for them (its blocks go through the host's
// window): the rounds of chains shrink to what a room holds.
std::string DecodeNarrowInRooms(const Bytes& stage, int32_t capacity, int32_t room) {
    const Bytes copy(stage);
    CtBitDecoder decoder;
    CtCompressExcept error{0};
    if (decoder.Start(copy.data(), static_cast<int32_t>(copy.size()), &error, true) < 0) {
        return "!" + std::to_string(error.code);
    }
    std::string text;
    Bytes block(static_cast<size_t>(room));
    for (;;) {
        const int32_t left = capacity - static_cast<int32_t>(text.size());
        const int32_t n = decoder.DecodeUpTo(block.data(), room, left, &error);
        if (n < 0) return "!" + std::to_string(error.code);
        if (n == 0) return text;
        text.append(block.begin(), block.begin() + n);
    }
}

std::string RefDecode(const Bytes& stage, int32_t capacity) {
    const ReferenceResult r = ReferenceBitDecode(stage.data(), stage.size(), capacity);
    if (r.code != 0) return "!" + std::to_string(r.code);
    return std::string(r.bytes.begin(), r.bytes.end());
}

TEST(CtBitDecode, WorkedExample) {
    const Bytes stage = {0x12, 0x02, 0x05, 0x61, 0x62, 0x63, 0x64, 0x65, 0xB4, 0xB0};
    EXPECT_EQ(Decode(stage), "abcab");
    CtBitDecoder d;
    CtCompressExcept error{0};
    ASSERT_EQ(d.ReadHeader(stage.data(), static_cast<int32_t>(stage.size()), &error), 1);
    EXPECT_EQ(d.headerLength, 8);
    EXPECT_EQ(d.widths[0], 1);
    EXPECT_EQ(d.widths[1], 2);
    EXPECT_EQ(d.widths[2], 2);
    EXPECT_EQ(d.widths[3], 8);
    EXPECT_EQ(d.masks[0], 1);
    EXPECT_EQ(d.masks[3], 0xFF);
    EXPECT_EQ(d.symbols[4], 0x65);
    EXPECT_EQ(d.symbols[5], 0);

    Bytes two = stage;
    two[9] = 0xBC;  // two zero bits run the prefix into the end
    EXPECT_EQ(Decode(two), "abcabb");
    EXPECT_EQ(Decode(stage, 4), "!25");
    EXPECT_EQ(Decode(stage, 5), "abcab");  // exactly the capacity
    Bytes bad = stage;
    bad[8] = 0x0F;  // 0000 before the last byte
    EXPECT_EQ(Decode(bad), "!21");
}

TEST(CtBitDecode, NextSymbolStepsThroughTheStream) {
    const Bytes stage = {0x12, 0x02, 0x05, 0x61, 0x62, 0x63, 0x64, 0x65, 0xB4, 0xB0};
    CtBitDecoder d;
    CtCompressExcept error{0};
    ASSERT_EQ(d.ReadHeader(stage.data(), 10, &error), 1);
    d.stream = stage.data() + 8;
    d.streamLength = 2;
    d.byteIndex = 0;
    d.bitPosition = 0;
    uint8_t s = 0;
    ASSERT_EQ(d.NextSymbol(&s, &error), 1);
    EXPECT_EQ(s, 'a');
    ASSERT_EQ(d.NextSymbol(&s, &error), 1);
    EXPECT_EQ(s, 'b');
    ASSERT_EQ(d.NextSymbol(&s, &error), 1);
    EXPECT_EQ(s, 'c');
    EXPECT_EQ(d.byteIndex, 1);
    EXPECT_EQ(d.bitPosition, 0);
    ASSERT_EQ(d.NextSymbol(&s, &error), 1);
    ASSERT_EQ(d.NextSymbol(&s, &error), 1);
    EXPECT_EQ(d.bitPosition, 4);
    // Three 0 bits are consumed; the fourth, which ends the stream, is not.
    EXPECT_EQ(d.NextSymbol(&s, &error), 0);
    EXPECT_EQ(d.bitPosition, 7);
}

TEST(CtBitDecode, HeaderForms) {
    // Count byte 0: 256 list bytes, a header of 259 bytes.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(255 - i));
    // Class 3 (prefix 0001, 8 bits): places 3 + 252 = 255 and 3 + 0.
    const Bytes stage = Stage(0, 0, 0, all, {0x1F, 0xC1, 0x00});
    CtBitDecoder d;
    CtCompressExcept error{0};
    ASSERT_EQ(d.ReadHeader(stage.data(), static_cast<int32_t>(stage.size()), &error), 1);
    EXPECT_EQ(d.headerLength, 259);
    EXPECT_EQ(Decode(stage), std::string("\x00\xFC", 2));
    // Places at or beyond the count give 0x00.
    EXPECT_EQ(Decode(Stage(2, 0, 0, "ab", {0xE0})), std::string("\x00", 1));
    // No stream: nothing.
    EXPECT_EQ(Decode(Stage(3, 3, 3, "abc", {})), "");
}

TEST(CtBitDecode, WidthZeroClassesAndEndRules) {
    // Widths 0 0 0: a = 1, b = 01, c = 001.
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0x9A})), "acab");  // 1 001 1 01 0
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0x32})), "cac");   // 001 1 001 0
    // A closing 1 as the very last bit delivers nothing, even for width 0;
    // at the end of an earlier byte it delivers.
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0xFF})), "aaaaaaa");
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0xFF, 0x80})), "aaaaaaaaa");
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0xFF, 0x01})), "aaaaaaaa");
    // A code with index bits that ends exactly with the stream is delivered.
    EXPECT_EQ(Decode(Stage(1, 0, 0, "abc", {0xBB})), "abab");          // 10 11 10 11
    EXPECT_EQ(Decode(Stage(3, 0, 0, "abcdefgh", {0x9B})), "bd");       // 1001 1011
    // Index bits cut off by the end of the stream deliver nothing.
    EXPECT_EQ(Decode(Stage(2, 0, 0, "abcd", {0xB6})), "bb");           // 101 101 1|0
    // Up to three zeros run into the end; four or more are the fourth 0 bit.
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0xF8})), "aaaaa");
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0xF0})), "aaaa");
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0x00})), "");
    EXPECT_EQ(Decode(Stage(0, 0, 0, "abc", {0x00, 0x80})), "!21");
}

TEST(CtBitDecode, IndexBitsCrossIntoTheNextByte) {
    // w0 = 4: a is 1 0000; the next code, 1 0110, starts at bit position 5
    // and takes three bits from the first byte and two from the second.
    EXPECT_EQ(Decode(Stage(4, 0, 0, "abcdefghijklmnop", {0x85, 0x80})), "ag");
}

TEST(CtBitDecode, RejectsWhatTheListCannotHold) {
    // Widths above 8, in either nibble or in the width byte.
    EXPECT_EQ(Decode(Stage(9, 0, 0, "a", {0x80})), "!23");
    EXPECT_EQ(Decode(Stage(0, 15, 0, "a", {0x80})), "!23");
    EXPECT_EQ(Decode(Stage(0, 0, 9, "a", {0x80})), "!23");
    // Class 1 begins at place 256 when w0 is 8: its codes are rejected,
    // class 0's are fine.
    EXPECT_EQ(Decode(Stage(8, 0, 0, "a", {0x80, 0x00})), std::string("a"));
    EXPECT_EQ(Decode(Stage(8, 0, 0, "a", {0x40, 0x00})), "!23");
    // Class 3 reaches past place 255 with three classes before it.
    EXPECT_EQ(Decode(Stage(0, 0, 0, "a", {0x1F, 0xF0})), "!23");
    EXPECT_EQ(Decode(Stage(0, 0, 0, "a", {0x1F, 0xC0})), std::string("\x00", 1));
}

TEST(CtBitDecode, RejectsAHeaderLongerThanTheData) {
    EXPECT_EQ(Decode({}), "!22");
    EXPECT_EQ(Decode({0x12, 0x02}), "!22");
    EXPECT_EQ(Decode({0x12, 0x02, 0x05, 'a', 'b'}), "!22");
    EXPECT_EQ(Decode({0x12, 0x02, 0x00, 'a'}), "!22");
    EXPECT_EQ(Decode({0x12, 0x02, 0x05, 'a', 'b', 'c', 'd', 'e'}), "");
}

// Writes codes most significant bit first, as the stream holds them.
class BitWriter {
public:
    void Put(uint32_t bits, int n) {
        pending_ = pending_ << n | bits;
        held_ += n;
        while (held_ >= 8) {
            held_ -= 8;
            bytes.push_back(static_cast<uint8_t>(pending_ >> held_));
        }
    }
    Bytes bytes;

private:
    uint64_t pending_ = 0;
    int held_ = 0;
};

// count codes of classes drawn by weight (out of 16 for classes 0, 1, 2, the
// rest class 3) with random offsets. Offsets stay within the list's 256
// places but for one in badOneIn (0: none), which is a class 3 code past
// place 255 or a 0000 prefix. Random fill ends the stream.
Bytes RandomCodes(std::mt19937& rng, const int w[3], size_t count, const uint32_t weights[3],
                  uint32_t badOneIn) {
    BitWriter out;
    uint32_t room = 256;
    for (int k = 0; k < 3; ++k) room -= std::min<uint32_t>(room, 1u << std::min(w[k], 8));
    for (size_t i = 0; i < count; ++i) {
        const uint32_t draw = rng() % 16;
        int k = 3;
        for (uint32_t sum = 0, j = 0; j < 3; ++j) {
            sum += weights[j];
            if (draw < sum) {
                k = static_cast<int>(j);
                break;
            }
        }
        const bool bad = badOneIn != 0 && rng() % badOneIn == 0;
        if (bad && rng() % 2 == 0) {
            out.Put(static_cast<uint32_t>(rng() % 16), 8);  // 0000, then anything
            continue;
        }
        const int width = k < 3 ? std::min(w[k], 8) : 8;
        uint32_t v = static_cast<uint32_t>(rng()) & ((1u << width) - 1);
        if (k == 3 && room > 0 && !bad) v %= room;
        out.Put(1u, k + 1);
        out.Put(v, width);
    }
    out.Put(static_cast<uint32_t>(rng() % 2 ? 0 : rng()) & 0x7F, 7);
    return out.bytes;
}

std::string RandomList(std::mt19937& rng) {
    std::string list(1 + rng() % 256, '\0');
    for (char& c : list) c = static_cast<char>(rng());
    return list;
}

// Random streams: random widths (some too wide), lists, codes and
// capacities, and now and then flipped bits or a cut. Long ones go through
// the table, short ones bit by bit, and both must give exactly what the
// reference gives.
TEST(CtBitDecode, AgreesWithTheReference) {
    std::mt19937 rng(99);
    int errors = 0;
    int tableRuns = 0;
    for (int round = 0; round < 4000; ++round) {
        int w[3];
        for (int& x : w) x = static_cast<int>(rng() % 10 == 0 ? 9 + rng() % 7 : rng() % 9);
        if (round % 2 == 0) w[2] = static_cast<int>(rng() % 9);
        const std::string list = RandomList(rng);
        const size_t symbols = rng() % 4 == 0 ? rng() % 24 : rng() % 6000;
        // Mostly short codes, or (every third round) mostly the 12-bit
        // codes of class 3, which fill the table path's window.
        const uint32_t shortCodes[3] = {4, 4, 4};
        const uint32_t longCodes[3] = {1, 1, 2};
        Bytes stream = RandomCodes(rng, w, symbols, round % 3 == 0 ? longCodes : shortCodes, 500);
        if (rng() % 3 == 0 && !stream.empty()) stream[rng() % stream.size()] ^= 1 << (rng() % 8);
        if (rng() % 5 == 0) stream.resize(rng() % (stream.size() + 1));

        const Bytes stage = Stage(w[0], w[1], w[2], list, stream);
        const int32_t capacity = static_cast<int32_t>(rng() % 3 == 0 ? rng() % (symbols + 2)
                                                                     : symbols + 8);
        const std::string want = RefDecode(stage, capacity);
        ASSERT_EQ(Decode(stage, capacity), want) << "round " << round;
        errors += want.size() > 0 && want[0] == '!';
        tableRuns += stream.size() >= 192;
        // Streaming, in blocks down to one symbol: the stream's last bytes
        // and the capacity fall anywhere in a block.
        Bytes content(stage.size() + 1, kCtStageBits);
        std::copy(stage.begin(), stage.end(), content.begin() + 1);
        for (int32_t block : {1 + round % 6, 97 + round % 50}) {
            ASSERT_EQ(CompareStreaming(content, capacity, block), "") << "round " << round;
            ASSERT_EQ(DecodeNarrowInRooms(stage, capacity, block), want) << "round " << round;
        }
    }
    EXPECT_GT(errors, 400);
    EXPECT_GT(tableRuns, 2500);
}

// Streams of several KB, where the table path runs a second chain of codes
// ahead of the first and joins them where they meet: codes of mixed lengths,
// which meet within a few codes; codes of one length, which never meet when
// the second chain starts between two codes; dense 1-bit codes; mostly
// class 3 codes, whose misread offsets often lie past place 255. Invalid
// codes stand anywhere (before, across or after a meeting), and the
// capacities lie around the symbol count.
TEST(CtBitDecode, LongStreamsAgreeWithTheReference) {
    std::mt19937 rng(2024);
    int errors = 0;
    for (int round = 0; round < 160; ++round) {
        int w[3] = {static_cast<int>(rng() % 9), static_cast<int>(rng() % 9),
                    static_cast<int>(rng() % 9)};
        uint32_t weights[3] = {5, 4, 4};
        switch (round % 4) {
            case 1:  // class 0 alone, 3 bits a code
                w[0] = 2;
                weights[0] = 16;
                break;
            case 2:  // a 1-bit code for most symbols
                w[0] = 0;
                weights[0] = 14;
                weights[1] = 1;
                weights[2] = 0;
                break;
            case 3:  // mostly class 3
                weights[0] = weights[1] = weights[2] = 1;
                break;
        }
        const std::string list = RandomList(rng);
        const size_t symbols = 4000 + rng() % 40000;
        const uint32_t badOneIn = rng() % 3 == 0 ? static_cast<uint32_t>(symbols) : 0;
        Bytes stream = RandomCodes(rng, w, symbols, weights, badOneIn);
        if (rng() % 6 == 0) stream[rng() % stream.size()] ^= 1 << (rng() % 8);
        if (rng() % 6 == 0) stream.resize(rng() % (stream.size() + 1));

        const Bytes stage = Stage(w[0], w[1], w[2], list, stream);
        const ReferenceResult whole = ReferenceBitDecode(stage.data(), stage.size(), INT32_MAX);
        const int32_t n = static_cast<int32_t>(whole.bytes.size());
        const int32_t capacities[] = {n, n - 1, static_cast<int32_t>(rng() % (n + 1)), n + 4};
        const int32_t capacity = std::max(0, capacities[rng() % 4]);
        const std::string want = RefDecode(stage, capacity);
        ASSERT_EQ(Decode(stage, capacity), want) << "round " << round;
        errors += want.size() > 0 && want[0] == '!';
        // Streaming, in blocks of a few sizes, so that rounds shrink to fit
        // and stop at a block's end.
        Bytes content(stage.size() + 1, kCtStageBits);
        std::copy(stage.begin(), stage.end(), content.begin() + 1);
        for (int32_t block : {4096 + round, 33000 + round * 7, CtStreamDecoder::kDefaultBlock}) {
            ASSERT_EQ(CompareStreaming(content, capacity, block), "") << "round " << round;
            ASSERT_EQ(DecodeNarrowInRooms(stage, capacity, block), want) << "round " << round;
        }
    }
    EXPECT_GT(errors, 40);
    EXPECT_LT(errors, 130);
}

}  // namespace
