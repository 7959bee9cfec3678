#include "archive/CtStageDecode.h"

#include <cstring>

#include "archive/CtBitDecoder.h"
#include "archive/CtByteStages.h"
#include "archive/CtDecompress.h"
#include "archive/CtMem.h"
#include "archive/CtStreamDecoder.h"

namespace {

// Appends what it receives to a block that has room for all of it.
class BlockSink : public CtSink {
public:
    explicit BlockSink(uint8_t* block) : used(0), block_(block) {}

    int32_t Write(const uint8_t* data, int32_t length) override {
        std::memcpy(block_ + used, data, static_cast<size_t>(length));
        used += length;
        return 1;
    }

    int32_t used;

private:
    uint8_t* block_;
};

uint32_t BoundOf(int32_t capacity) {
    return capacity > 0 ? static_cast<uint32_t>(capacity) : 0;
}

}  // namespace

int32_t CtBitDecode(const uint8_t* data, int32_t length, uint8_t* output, int32_t capacity,
                    CtCompressExcept* error, bool narrow) {
    CtBitDecoder decoder;
    if (decoder.Start(data, length, error, narrow) < 0) return -1;
    // The output has no byte beyond capacity for the one symbol too many:
    // once full, that symbol is asked for on the side.
    int32_t count = 0;
    for (;;) {
        uint8_t extra;
        const int32_t left = capacity - count;
        const int32_t n = left > 0 ? decoder.DecodeUpTo(output + count, left, left, error)
                                   : decoder.DecodeUpTo(&extra, 1, 0, error);
        if (n < 0) return -1;
        if (n == 0) return count;
        count += n;
    }
}

int32_t CtExpandRefs(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error) {
    const int32_t block = CtStreamDecoder::kDefaultBlock;
    CtMem memory(CtRefStage::kHistory + block, CtMem::kUnset);
    if (!memory.Held()) return CtFail(error, kCtErrorMemory);
    BlockSink sink(output);
    CtRefStage stage;
    stage.Start(escape, memory.data + CtRefStage::kHistory, block, BoundOf(capacity), &sink,
                CtWide::Fastest());
    if (length > 0) stage.Write(input, length);
    stage.Finish();
    if (stage.code != 0) return CtFail(error, stage.code);
    return sink.used;
}

int32_t CtExpandRuns(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error) {
    const int32_t block = CtStreamDecoder::kDefaultBlock;
    CtMem memory(block, CtMem::kUnset);
    if (!memory.Held()) return CtFail(error, kCtErrorMemory);
    BlockSink sink(output);
    CtRunStage stage;
    stage.Start(escape, memory.data, block, BoundOf(capacity), &sink, CtWide::Fastest());
    if (length > 0) stage.Write(input, length);
    stage.Finish();
    if (stage.code != 0) return CtFail(error, stage.code);
    return sink.used;
}
