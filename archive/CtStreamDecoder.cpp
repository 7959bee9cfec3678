#include "archive/CtStreamDecoder.h"

#include <cstring>

#include "archive/CtBitDecoder.h"
#include "archive/CtByteStages.h"
#include "archive/CtDecompress.h"

namespace {

// The memory of the blocks: the bit-coded stage's, the back-reference
// stage's behind its history, and the run stage's.
int32_t MemoryFor(int32_t block) {
    if (block < 1 || block > CtStreamDecoder::kMaxBlock) return 0;
    return 3 * block + CtRefStage::kHistory;
}

// The end of the pipeline: the content may hold capacity bytes (kCtErrorCapacity
// beyond them); the caller's sink receives them.
class Delivery : public CtSink {
public:
    Delivery(int32_t capacity, CtSink* sink) : code(0), total(0), capacity_(capacity), sink_(sink) {}

    int32_t Write(const uint8_t* data, int32_t length) override {
        if (code != 0) return 1;
        if (length > capacity_ - total) {
            code = kCtErrorCapacity;
            return 1;
        }
        total += length;
        return sink_->Write(data, length);
    }

    int32_t code;
    int32_t total;

private:
    int32_t capacity_;
    CtSink* sink_;
};

}  // namespace

// Every block is written before it is read, and the back-reference stage's
// history before a reference reaches into it: a decoder made for one
// content (CtDecode) does not zero a few hundred kilobytes it never reads.
CtStreamDecoder::CtStreamDecoder(int32_t block, CtWide::Path path)
    : memory_(MemoryFor(block), CtMem::kUnset), block_(block), path_(path) {}

int32_t CtStreamDecoder::Decode(const uint8_t* source, int32_t length, int32_t capacity,
                                CtSink* sink, CtCompressExcept* error) {
    return Run(source, length, capacity, sink, nullptr, error);
}

int32_t CtStreamDecoder::DecodeInto(const uint8_t* source, int32_t length, uint8_t* area,
                                    int32_t capacity, CtCompressExcept* error) {
    // The last stage's output is in the area already when it goes out;
    // what comes another way (the stage data of a content without stages)
    // is copied there.
    class InPlace : public CtSink {
    public:
        explicit InPlace(uint8_t* area) : end_(area) {}

        int32_t Write(const uint8_t* data, int32_t length) override {
            if (data != end_) std::memcpy(end_, data, static_cast<size_t>(length));
            end_ += length;
            return 1;
        }

    private:
        uint8_t* end_;
    } inPlace(area);
    return Run(source, length, capacity, &inPlace, area, error);
}

int32_t CtStreamDecoder::Run(const uint8_t* source, int32_t length, int32_t capacity,
                             CtSink* sink, uint8_t* area, CtCompressExcept* error) {
    CtFrame frame;
    if (CtReadFrame(source, length, &frame, error) < 0) return -1;
    if (capacity < 0 || !memory_.Held()) return CtFail(error, kCtErrorMemory);
    // Without stages the content is its stage data: too long for the
    // capacity, it fails before anything goes out.
    if (frame.Plain() && frame.length > capacity) return CtFail(error, kCtErrorCapacity);
    const bool bits = (frame.flags & kCtStageBits) != 0;
    const bool refs = (frame.flags & kCtStageRefs) != 0;
    const bool runs = (frame.flags & kCtStageRuns) != 0;

    // The stages from the last to the first, each feeding the one after it.
    // Each stage is bounded as the whole-buffer decoder bounds it: the
    // bit-coded stage by the capacity, the back-reference stage by its
    // scratch area of capacity + kCtSpare, the run stage and the content by
    // the capacity. Into an area, the last stage's block is the area, as
    // large as its bound: it goes out once, at the end.
    uint8_t* const symbols = memory_.data;
    uint8_t* const refBlock = symbols + block_ + CtRefStage::kHistory;
    uint8_t* const runBlock = refBlock + block_;
    const uint32_t bound = static_cast<uint32_t>(capacity);
    Delivery delivery(capacity, sink);
    CtSink* first = &delivery;
    CtRunStage runStage;
    CtRefStage refStage;
    if (runs) {
        if (area != nullptr) {
            runStage.Start(frame.runEscape, area, capacity, bound, first, path_);
        } else {
            runStage.Start(frame.runEscape, runBlock, block_, bound, first, path_);
        }
        first = &runStage;
    }
    if (refs) {
        const uint32_t refBound = bound + static_cast<uint32_t>(kCtSpare);
        if (area != nullptr && !runs) {
            refStage.Start(frame.refEscape, area, capacity + kCtSpare, refBound, first, path_);
        } else {
            refStage.Start(frame.refEscape, refBlock, block_, refBound, first, path_);
        }
        first = &refStage;
    }

    if (bits) {
        // The bit-coded stage comes first, so its errors are final at once.
        // As the last stage into an area it decodes straight there.
        uint8_t* const target = area != nullptr && first == &delivery ? area : nullptr;
        CtBitDecoder decoder;
        if (decoder.Start(frame.data, frame.length, error) < 0) return -1;
        int32_t count = 0;
        for (;;) {
            uint8_t* const out = target != nullptr ? target + count : symbols;
            const int32_t room = target != nullptr ? capacity - count + 1 : block_;
            const int32_t n = decoder.DecodeUpTo(out, room, capacity - count, error);
            if (n < 0) return -1;
            if (n == 0) break;
            count += n;
            if (target == nullptr && first->Write(symbols, n) == 0) {
                return CtFail(error, kCtErrorStopped);
            }
        }
        if (target != nullptr && count > 0) delivery.Write(target, count);
    } else {
        for (int32_t done = 0; done < frame.length;) {
            const int32_t rest = frame.length - done;
            const int32_t n = rest < block_ ? rest : block_;
            if (first->Write(frame.data + done, n) == 0) return CtFail(error, kCtErrorStopped);
            done += n;
        }
    }
    // The ends of the byte stages, in order: each hands on what it holds,
    // and an error of a stage is final once the stages before it are done.
    if (refs) {
        if (refStage.Finish() == 0) return CtFail(error, kCtErrorStopped);
        if (refStage.code != 0) return CtFail(error, refStage.code);
    }
    if (runs) {
        if (runStage.Finish() == 0) return CtFail(error, kCtErrorStopped);
        if (runStage.code != 0) return CtFail(error, runStage.code);
    }
    if (delivery.code != 0) return CtFail(error, delivery.code);
    return delivery.total;
}
