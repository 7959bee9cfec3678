#include "archive/CtDecompress.h"

#include <cstddef>
#include <cstring>

#include "archive/CtMem.h"
#include "archive/CtStreamDecoder.h"
#include "services/LogRouting.h"
#include "services/Text.h"

int32_t CtReadFrame(const uint8_t* source, int32_t length, CtFrame* frame,
                    CtCompressExcept* error) {
    if (length < 1) return CtFail(error, kCtErrorTruncated);
    frame->flags = source[0];
    frame->data = source + 1;
    frame->length = length - 1;
    frame->runEscape = 0;
    frame->refEscape = 0;
    if (frame->flags & kCtStageRuns) {
        if (frame->length < 1) return CtFail(error, kCtErrorTruncated);
        frame->runEscape = *frame->data++;
        --frame->length;
    }
    if (frame->flags & kCtStageRefs) {
        if (frame->length < 1) return CtFail(error, kCtErrorTruncated);
        frame->refEscape = *frame->data++;
        --frame->length;
    }
    return 1;
}

namespace {

// CtDecode without the zeros behind the content. With roomy, destination
// holds kCtSpare bytes behind the capacity, where the last stage may write
// too.
int32_t DecodeContent(const uint8_t* source, int32_t length, uint8_t* destination,
                      int32_t capacity, bool roomy, CtCompressExcept* error) {
    CtFrame frame;
    if (CtReadFrame(source, length, &frame, error) < 0) return -1;
    if (capacity < 0 || capacity > CtMem::kMaxRequest) return CtFail(error, kCtErrorMemory);
    // No stage ever holds more than capacity + kCtSpare bytes: small
    // contents take small blocks.
    const int32_t block = capacity < CtStreamDecoder::kDefaultBlock - kCtSpare
                              ? capacity + kCtSpare
                              : CtStreamDecoder::kDefaultBlock;
    CtStreamDecoder decoder(block);
    const int32_t spare = frame.Spare();
    if (spare == 0 || roomy) {
        return decoder.DecodeInto(source, length, destination, capacity, error);
    }
    // The last stage may write beyond the content: it writes into a block
    // of its own.
    CtMem area(CtMem::Padded(capacity, spare), CtMem::kUnset);
    if (!area.Held()) return CtFail(error, kCtErrorMemory);
    const int32_t n = decoder.DecodeInto(source, length, area.data, capacity, error);
    if (n > 0) std::memcpy(destination, area.data, static_cast<size_t>(n));
    return n;
}

}  // namespace

int32_t CtDecode(const uint8_t* source, int32_t length, uint8_t* destination, int32_t capacity,
                 CtCompressExcept* error) {
    // Whatever the stages leave behind the content, or a failure in it, is
    // overwritten with zeros: the caller sees the same bytes whatever its
    // buffer held. A capacity that is refused is not written.
    const int32_t n = DecodeContent(source, length, destination, capacity, false, error);
    const int32_t kept = n > 0 ? n : 0;
    if (capacity > kept && capacity <= CtMem::kMaxRequest) {
        std::memset(destination + kept, 0, static_cast<size_t>(capacity - kept));
    }
    return n;
}

int32_t CtDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                     int32_t capacity) {
    // The content read leaves the caller's buffer as it was unless the
    // content decodes, so the content is decoded into a block of its own,
    // with the spare bytes any last stage may write, and copied once.
    // Without the block the answer is CtDecode's for a capacity it cannot
    // hold: the frame is read first.
    CtCompressExcept error{0};
    CtMem block(CtMem::Padded(capacity, kCtSpare), CtMem::kUnset);
    int32_t result = -1;
    if (!block.Held()) {
        CtFrame frame;
        if (CtReadFrame(source, length, &frame, &error) >= 0) error.code = kCtErrorMemory;
    } else {
        result = DecodeContent(source, length, block.data, capacity, true, &error);
        if (result > 0) std::memcpy(destination, block.data, static_cast<size_t>(result));
    }
    if (result >= 0) return result;
    CtLogFailure(error.code);
    return 0;
}

void CtLogFailure(int32_t code) {
    // "Erreur en décompréssion code %d", at most 128 bytes.
    char text[128] = "Erreur en d\xE9"
                     "compr\xE9"
                     "ssion code ";
    // Every code is a positive constant of ours.
    char digits[13];
    int32_t position = TextLength(text);
    TextCopy(text, NumberToText(static_cast<uint32_t>(code), digits, 10), sizeof text, &position);
    SendLog(kLogArchive, text);
}
