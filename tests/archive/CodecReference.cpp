#include "tests/archive/CodecReference.h"

#include <algorithm>
#include <cstring>

#include "archive/CtDecompress.h"
#include "archive/CtStreamDecoder.h"

namespace {

// The bit at a position counted over the whole stream, most significant
// bit of each byte first.
int Bit(const uint8_t* stream, int64_t position) {
    return (stream[position / 8] >> (7 - position % 8)) & 1;
}

ReferenceResult Failed(int32_t code) {
    return ReferenceResult{code, {}};
}

ReferenceResult References(uint8_t escape, const std::vector<uint8_t>& in, size_t capacity) {
    ReferenceResult r{0, {}};
    std::vector<uint8_t>& out = r.bytes;
    size_t i = 0;
    while (i < in.size()) {
        if (in[i] != escape) {
            if (out.size() >= capacity) return Failed(kCtErrorCapacity);
            out.push_back(in[i]);
            i += 1;
            continue;
        }
        if (i + 1 >= in.size()) return Failed(kCtErrorTruncated);
        const uint8_t d = in[i + 1];
        if (d == escape) {
            if (out.size() >= capacity) return Failed(kCtErrorCapacity);
            out.push_back(escape);
            i += 2;
            continue;
        }
        if (d > out.size()) return Failed(kCtErrorReference);
        if (i + 2 >= in.size()) return Failed(kCtErrorTruncated);
        const uint8_t k = in[i + 2];
        if (out.size() + k > capacity) return Failed(kCtErrorCapacity);
        for (int j = 0; j < k; ++j) out.push_back(d == 0 ? 0 : out[out.size() - d]);
        i += 3;
    }
    return r;
}

// The run stage reads its whole input before it writes: a cut escape is
// reported wherever it stands, before any excess of output.
ReferenceResult Runs(uint8_t escape, const std::vector<uint8_t>& in, size_t capacity) {
    ReferenceResult r{0, {}};
    std::vector<uint8_t>& out = r.bytes;
    uint8_t previous = 0;
    size_t i = 0;
    while (i < in.size()) {
        const uint8_t c = in[i];
        if (c != escape) {
            out.push_back(c);
            previous = c;
            i += 1;
            continue;
        }
        if (i + 1 >= in.size()) return Failed(kCtErrorTruncated);
        const uint8_t k = in[i + 1];
        i += 2;
        if (k == escape) {
            out.push_back(escape);
            previous = escape;
        } else {
            out.insert(out.end(), k, previous);
        }
    }
    if (out.size() > capacity) return Failed(kCtErrorCapacity);
    return r;
}

}  // namespace

ReferenceResult ReferenceBitDecode(const uint8_t* data, size_t size, int32_t capacity) {
    if (size < 3) return Failed(kCtErrorHeader);
    const int widths[4] = {data[0] >> 4, data[0] & 15, data[1], 8};
    for (int k = 0; k < 3; ++k) {
        if (widths[k] > 8) return Failed(kCtErrorList);
    }
    const int64_t count = data[2] == 0 ? 256 : data[2];
    uint8_t list[256] = {};
    for (int64_t i = 0; i < count && 3 + i < static_cast<int64_t>(size); ++i) list[i] = data[3 + i];
    const int64_t L = static_cast<int64_t>(size) - (count + 3);
    const uint8_t* stream = L >= 0 ? data + 3 + count : data;

    ReferenceResult r{0, {}};
    int64_t position = 0;  // in bits
    for (;;) {
        if (position / 8 > L) return Failed(kCtErrorHeader);
        if (position / 8 == L) return r;
        int k = 0;
        int base = 0;
        bool ended = false;
        for (;;) {
            const int bit = Bit(stream, position);
            if (bit == 0) {
                base += 1 << widths[k];
                ++k;
                if (k == 4) {
                    if (position / 8 + 1 < L) return Failed(kCtErrorPrefix);
                    ended = true;
                    break;
                }
            }
            ++position;
            if (position % 8 == 0 && position / 8 >= L) {
                ended = true;
                break;
            }
            if (bit == 1) break;
        }
        if (ended) return r;
        const int w = widths[k];
        if (w > 0 && (position + w - 1) / 8 >= L) return r;
        int v = 0;
        for (int j = 0; j < w; ++j) v = v * 2 + Bit(stream, position++);
        if (base + v > 255) return Failed(kCtErrorList);
        if (static_cast<int64_t>(r.bytes.size()) >= capacity) return Failed(kCtErrorCapacity);
        r.bytes.push_back(list[base + v]);
    }
}

ReferenceResult ReferenceDecompress(const uint8_t* data, size_t size, int32_t capacity) {
    if (size < 1) return Failed(kCtErrorTruncated);
    const uint8_t flags = data[0];
    size_t at = 1;
    uint8_t runEscape = 0;
    uint8_t refEscape = 0;
    if (flags & kCtStageRuns) {
        if (at >= size) return Failed(kCtErrorTruncated);
        runEscape = data[at++];
    }
    if (flags & kCtStageRefs) {
        if (at >= size) return Failed(kCtErrorTruncated);
        refEscape = data[at++];
    }
    if (capacity < 0 || capacity > INT32_MAX - 256) return Failed(kCtErrorMemory);
    std::vector<uint8_t> input(data + at, data + size);
    if (flags & kCtStageBits) {
        ReferenceResult bits = ReferenceBitDecode(input.data(), input.size(), capacity);
        if (bits.code != 0) return bits;
        input = bits.bytes;
    }
    if (flags & kCtStageRefs) {
        ReferenceResult refs = References(refEscape, input, static_cast<size_t>(capacity) + 256);
        if (refs.code != 0) return refs;
        input = refs.bytes;
    }
    if (flags & kCtStageRuns) return Runs(runEscape, input, static_cast<size_t>(capacity));
    if (input.size() > static_cast<size_t>(capacity)) return Failed(kCtErrorCapacity);
    return ReferenceResult{0, input};
}

Decoded DecodeCaught(const std::vector<uint8_t>& source, int32_t capacity) {
    Decoded d{0, 0, std::vector<uint8_t>(capacity > 0 ? static_cast<size_t>(capacity) : 0, 0xA5)};
    CtCompressExcept error{0};
    d.result = CtDecode(source.data(), static_cast<int32_t>(source.size()), d.buffer.data(),
                        capacity, &error);
    d.code = error.code;
    return d;
}

namespace {

class Collector : public CtSink {
public:
    explicit Collector(Streamed* s) : s_(s) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        s_->buffer.insert(s_->buffer.end(), data, data + length);
        ++s_->pieces;
        if (length > s_->largestPiece) s_->largestPiece = length;
        return 1;
    }

private:
    Streamed* s_;
};

// CompareStreaming on one path, against CtDecode's result.
std::string CompareStreamingOn(const std::vector<uint8_t>& source, int32_t capacity, int32_t block,
                               CtWide::Path path, const Decoded& whole) {
    const Streamed s = StreamCaught(source, capacity, block, path);
    const std::string at = " (block " + std::to_string(block) + ")";
    if (s.result != whole.result || s.code != whole.code) {
        return "streaming " + std::to_string(s.result) + " code " + std::to_string(s.code) +
               ", whole " + std::to_string(whole.result) + " code " + std::to_string(whole.code) +
               at;
    }
    // Into an area of exactly the size it asks for, with the same blocks.
    CtFrame frame{};
    frame.flags = source.empty() ? 0 : source[0];
    const int32_t spare = frame.Spare();
    std::vector<uint8_t> area(static_cast<size_t>(capacity) + static_cast<size_t>(spare), 0xA5);
    CtStreamDecoder decoder(block, path);
    CtCompressExcept error{0};
    const int32_t into = decoder.DecodeInto(source.data(), static_cast<int32_t>(source.size()),
                                            area.data(), capacity, &error);
    if (into != whole.result || (into < 0 && error.code != whole.code)) {
        return "into an area " + std::to_string(into) + " code " + std::to_string(error.code) +
               ", whole " + std::to_string(whole.result) + " code " + std::to_string(whole.code) +
               at;
    }
    if (into > 0 && !std::equal(area.begin(), area.begin() + into, whole.buffer.begin())) {
        return "other bytes in the area" + at;
    }
    if (s.largestPiece > block) return "a piece larger than the block" + at;
    if (s.buffer.size() > static_cast<size_t>(capacity)) return "more than the capacity" + at;
    if (whole.result >= 0 &&
        (s.buffer.size() != static_cast<size_t>(whole.result) ||
         !std::equal(s.buffer.begin(), s.buffer.end(), whole.buffer.begin()))) {
        return "other bytes" + at;
    }
    return "";
}

}  // namespace

Streamed StreamCaught(const std::vector<uint8_t>& source, int32_t capacity, int32_t block,
                      CtWide::Path path) {
    Streamed s{0, 0, {}, 0, 0};
    Collector sink(&s);
    CtStreamDecoder decoder(block, path);
    CtCompressExcept error{0};
    s.result = decoder.Decode(source.data(), static_cast<int32_t>(source.size()), capacity, &sink,
                              &error);
    s.code = error.code;
    return s;
}

std::string CompareStreaming(const std::vector<uint8_t>& source, int32_t capacity, int32_t block,
                             int32_t* code) {
    const Decoded whole = DecodeCaught(source, capacity);
    if (code != nullptr) *code = whole.code;
    for (const CtWide::Path path : {CtWide::kWords, CtWide::kVectors}) {
        const std::string differs = CompareStreamingOn(source, capacity, block, path, whole);
        if (!differs.empty()) {
            return differs + (path == CtWide::kWords ? ", word path" : ", vector path");
        }
    }
    return "";
}
