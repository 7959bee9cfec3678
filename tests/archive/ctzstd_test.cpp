// The Zstandard contents (methods 4 and 5): a table of frames, sound and
// damaged, through the decoder the launcher runs, and velpack's compressor.
// The Windows builds run it with the stub's build of the library.
#include "archive/CtZstdDecoder.h"

#include <gtest/gtest.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive/CtCompress.h"
#include "archive/CtContentDecoder.h"
#include "archive/CtFormat.h"
#include "archive/CtZstdCompress.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Takes what the decoder hands on, and may stop it after some pieces.
class Collect final : public CtSink {
public:
    int32_t Write(const uint8_t* data, int32_t length) override {
        largest = length > largest ? length : largest;
        bytes.insert(bytes.end(), data, data + length);
        return ++pieces != stopAfter;
    }

    Bytes bytes;
    int32_t pieces = 0;
    int32_t largest = 0;
    int32_t stopAfter = -1;
};

// Text that compresses, in some hundred kilobytes: several blocks.
Bytes Sample(size_t size) {
    std::mt19937 random(27);
    const char* words[] = {"setup ", "install ", "Velmar ", "fichier ", "\r\n", "0x1F ", "DWCL="};
    Bytes b;
    while (b.size() < size) {
        const char* w = words[random() % 7];
        b.insert(b.end(), w, w + std::char_traits<char>::length(w));
    }
    b.resize(size);
    return b;
}

Bytes Compress(const Bytes& data, CtLevel level = CtLevel::kDefault) {
    Bytes frame;
    std::string error;
    EXPECT_TRUE(CtZstdCompress(data.data(), data.size(), level, &frame, &error)) << error;
    return frame;
}

// A frame by hand (RFC 8878): the magic number, the frame header
// descriptor and the header's further fields, then one last raw block of
// content.
Bytes HandFrame(uint8_t descriptor, const Bytes& fields, const std::string& content) {
    Bytes f = {0x28, 0xB5, 0x2F, 0xFD, descriptor};
    f.insert(f.end(), fields.begin(), fields.end());
    const uint32_t block = static_cast<uint32_t>(content.size()) << 3 | 1;  // raw, last
    for (int k = 0; k < 3; ++k) f.push_back(static_cast<uint8_t>(block >> (8 * k)));
    f.insert(f.end(), content.begin(), content.end());
    return f;
}

struct Outcome {
    int32_t result;
    int32_t code;
    Bytes bytes;
};

Outcome DecodeFrame(CtZstdDecoder* decoder, const Bytes& frame, int32_t capacity) {
    Collect sink;
    CtCompressExcept error{0};
    const int32_t result = decoder->Decode(frame.data(), static_cast<int32_t>(frame.size()),
                                           capacity, &sink, &error);
    return {result, result < 0 ? error.code : 0, sink.bytes};
}

TEST(CtZstd, TableOfFrames) {
    const Bytes data = Sample(300000);
    const Bytes sound = Compress(data);
    ASSERT_LT(sound.size(), data.size() / 3);
    const int32_t size = static_cast<int32_t>(data.size());
    const auto with = [&](Bytes frame, size_t at, uint8_t mask) {
        frame[at] ^= mask;
        return frame;
    };
    auto cut = [](const Bytes& frame, size_t keep) { return Bytes(frame.begin(), frame.begin() + keep); };
    auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    // A frame with no size: the decoded size is known only at its end.
    const Bytes unsized = HandFrame(0x00, {0x50}, "abcdef");
    // Window descriptor 0x68 is 2^23, the largest taken; 0x69 is 9/8 of it.
    const Bytes widest = HandFrame(0x00, {0x68}, "abc");
    const Bytes tooWide = HandFrame(0x00, {0x69}, "abc");
    // Dictionary id 7 in one byte.
    const Bytes dictionary = HandFrame(0x01, {0x50, 0x07}, "abc");
    const Bytes skippable = {0x50, 0x2A, 0x4D, 0x18, 1, 0, 0, 0, 'x'};

    const Bytes abcdef = {'a', 'b', 'c', 'd', 'e', 'f'};
    const Bytes none;
    // Where the library finds a damaged block depends on what the byte
    // was: any of its codes will do, and what went out before is garbage.
    const int32_t kAnyRefusal = -1;
    const struct {
        const char* what;
        Bytes frame;
        int32_t capacity;
        int32_t code;  // 0: the frame decodes
        Bytes out;     // what it decodes to: the sink receives all of it or, after a
                       // failure, its start; nothing where this is empty
    } cases[] = {
        {"sound", sound, size, 0, data},
        {"empty content", Compress({}), 0, 0, none},
        {"no declared size", unsized, 6, 0, abcdef},
        {"window of 8 MiB", widest, 3, 0, Bytes(abcdef.begin(), abcdef.begin() + 3)},
        {"cut in the header", cut(sound, 5), size, kCtErrorTruncated, none},
        {"cut to 3 bytes", cut(sound, 3), size, kCtErrorTruncated, none},
        {"cut before the checksum", cut(sound, sound.size() - 4), size, kCtErrorTruncated, data},
        {"a flipped byte inside", with(sound, sound.size() / 2, 0x08), size, kAnyRefusal, none},
        {"a flipped checksum", with(sound, sound.size() - 1, 0x10), size,
         kCtErrorZstd + ZSTD_error_checksum_wrong, data},
        {"window above the limit", tooWide, 3,
         kCtErrorZstd + ZSTD_error_frameParameter_windowTooLarge, none},
        {"a dictionary id", dictionary, 3, kCtErrorZstd + ZSTD_error_dictionary_wrong, none},
        {"not a frame", with(sound, 0, 0x01), size, kCtErrorZstd + ZSTD_error_prefix_unknown, none},
        {"a skippable frame", skippable, 0, kCtErrorZstd + ZSTD_error_prefix_unknown, none},
        {"a byte behind", join(sound, {0}), size, kCtErrorTrailing, data},
        {"a second frame behind", join(sound, sound), size, kCtErrorTrailing, data},
        {"declares more than the size", sound, size - 1, kCtErrorFrameSize, none},
        {"declares less than the size", sound, size + 1, kCtErrorFrameSize, none},
        {"decodes to more", unsized, 5, kCtErrorCapacity, none},
        {"decodes to less", unsized, 7, kCtErrorFrameSize, abcdef},
        {"capacity out of range", sound, -1, kCtErrorMemory, none},
    };
    CtZstdDecoder decoder;
    ASSERT_TRUE(decoder.Held());
    for (const auto& c : cases) {
        const Outcome o = DecodeFrame(&decoder, c.frame, c.capacity);
        if (c.code == kAnyRefusal) {
            EXPECT_EQ(o.result, -1) << c.what;
            EXPECT_GT(o.code, 0) << c.what;
            EXPECT_LE(o.bytes.size(), static_cast<size_t>(c.capacity)) << c.what;
            continue;
        }
        EXPECT_EQ(o.code, c.code) << c.what;
        EXPECT_EQ(o.result, c.code == 0 ? c.capacity : -1) << c.what;
        if (c.code == 0 || c.out.empty()) {
            EXPECT_EQ(o.bytes, c.out) << c.what;
        } else {
            EXPECT_LE(o.bytes.size(), c.out.size()) << c.what;
            EXPECT_TRUE(std::equal(o.bytes.begin(), o.bytes.end(), c.out.begin())) << c.what;
        }
    }
    // A failure leaves the decoder ready for the next frame.
    EXPECT_EQ(DecodeFrame(&decoder, sound, size).bytes, data);
}

TEST(CtZstd, PiecesAtMostABlockAndASinkThatStops) {
    const Bytes data = Sample(1 << 20);
    const Bytes frame = Compress(data);
    CtZstdDecoder decoder;
    Collect sink;
    CtCompressExcept error{0};
    const int32_t n = static_cast<int32_t>(data.size());
    ASSERT_EQ(decoder.Decode(frame.data(), static_cast<int32_t>(frame.size()), n, &sink, &error), n);
    EXPECT_EQ(sink.bytes, data);
    EXPECT_EQ(sink.largest, CtZstdDecoder::kPiece);
    Collect stopping;
    stopping.stopAfter = 2;
    EXPECT_EQ(decoder.Decode(frame.data(), static_cast<int32_t>(frame.size()), n, &stopping, &error),
              -1);
    EXPECT_EQ(error.code, kCtErrorStopped);
    EXPECT_EQ(stopping.pieces, 2);
}

// The launcher's memory for any entry: the largest window and a megabyte.
// A content above the window is coded with the largest one; the decoder
// keeps it for the next frame and takes no more for a second one.
TEST(CtZstd, MemoryIsTheWindowAndAMegabyteAtMost) {
    std::mt19937 random(5);
    Bytes data(9 << 20);
    for (size_t i = 0; i < data.size(); i += 4096) {
        const uint8_t b = static_cast<uint8_t>(random());
        std::fill(data.begin() + i, data.begin() + i + 4096, b);
    }
    // Level 1 with the largest window: the window is what counts here.
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, kCtZstdWindowLog);
    Bytes frame(ZSTD_compressBound(data.size()));
    const size_t length =
        ZSTD_compress2(context, frame.data(), frame.size(), data.data(), data.size());
    ZSTD_freeCCtx(context);
    ASSERT_FALSE(ZSTD_isError(length));
    frame.resize(length);
    const Bytes small = Compress(Sample(5000));
    CtZstdDecoder decoder;
    Collect sink;
    CtCompressExcept error{0};
    const int32_t n = static_cast<int32_t>(data.size());
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(decoder.Decode(frame.data(), static_cast<int32_t>(frame.size()), n, &sink, &error), n);
        ASSERT_EQ(decoder.Decode(small.data(), static_cast<int32_t>(small.size()), 5000, &sink, &error),
                  5000);
        EXPECT_GT(decoder.Memory(), int64_t{1} << kCtZstdWindowLog);
        EXPECT_LE(decoder.Memory(), (int64_t{1} << kCtZstdWindowLog) + (1 << 20));
    }
}

// Each method to its codec, and a method without one refused whatever its
// content holds; a decoder made without memory decodes nothing.
TEST(CtContentDecoder, ChoosesTheCodecByMethod) {
    const Bytes data = Sample(5000);
    const Bytes stages = CtCompress(data.data(), data.size());
    const Bytes frame = Compress(data);
    const int32_t n = static_cast<int32_t>(data.size());
    CtContentDecoder decoder;
    CtContentDecoder none(0);
    for (int32_t method = 2; method <= 7; ++method) {
        for (const Bytes* content : {&stages, &frame}) {
            const bool readable = method <= 5 && (content == &frame) == (method >= 4);
            Collect sink;
            CtCompressExcept error{0};
            const int32_t length = static_cast<int32_t>(content->size());
            // The other codec's content does not decode whole (the stages
            // may answer a short content).
            EXPECT_EQ(decoder.Decode(method, content->data(), length, n, &sink, &error) == n,
                      readable)
                << method;
            if (readable) {
                EXPECT_EQ(sink.bytes, data) << method;
            }
            if (method >= 6) {
                EXPECT_EQ(error.code, kCtErrorMethod) << method;
                continue;
            }
            EXPECT_EQ(none.Decode(method, content->data(), length, n, &sink, &error), -1);
            EXPECT_EQ(error.code, kCtErrorMemory) << method;
        }
    }
}

// The same data and level give the same frame, with its size and checksum
// declared.
TEST(CtZstd, CompressorIsRepeatableAndDeclaresSizeAndChecksum) {
    const Bytes data = Sample(200000);
    const Bytes frame = Compress(data);
    EXPECT_EQ(Compress(data), frame);
    EXPECT_EQ(ZSTD_getFrameContentSize(frame.data(), frame.size()), data.size());
    EXPECT_NE(frame[4] & 0x04, 0);  // content checksum flag
}

}  // namespace
