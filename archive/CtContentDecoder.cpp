#include "archive/CtContentDecoder.h"

#include "archive/CtFormat.h"

int32_t CtContentDecoder::Decode(int32_t method, const uint8_t* source, int32_t length,
                                 int32_t capacity, CtSink* sink, CtCompressExcept* error) {
    if (static_cast<uint32_t>(method) > kCtMethodLast) return CtFail(error, kCtErrorMethod);
    if (CtContentOf(method) == kCtContentZstd) {
        return zstd_.Decode(source, length, capacity, sink, error);
    }
    if (CtContentOf(method) == kCtContentStages) {
        return stages_.Decode(source, length, capacity, sink, error);
    }
    return CtFail(error, kCtErrorMethod);
}
