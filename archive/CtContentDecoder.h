// One decoder for the compressed contents of any codec: the stages'
// streaming decoder and the Zstandard one side by side, each chosen by the
// entry's method, both taking their memory once for any number of
// contents.
#ifndef VEL_ARCHIVE_CTCONTENTDECODER_H
#define VEL_ARCHIVE_CTCONTENTDECODER_H

#include <cstdint>

#include "archive/CtSink.h"
#include "archive/CtStreamDecoder.h"
#include "archive/CtZstdDecoder.h"

// The code of CtCompressExcept for a method without a codec (above 5): its
// content is unreadable, whatever it holds.
enum : int32_t { kCtErrorMethod = 65 };

class CtContentDecoder {
public:
    // The stages' decoder with blocks of that size (CtStreamDecoder), and
    // the Zstandard one; a block outside 1..CtStreamDecoder::kMaxBlock
    // takes the memory of neither, and every Decode then fails with
    // kCtErrorMemory.
    explicit CtContentDecoder(int32_t block = CtStreamDecoder::kDefaultBlock)
        : stages_(block), zstd_(block >= 1 && block <= CtStreamDecoder::kMaxBlock) {}
    CtContentDecoder(const CtContentDecoder&) = delete;
    CtContentDecoder& operator=(const CtContentDecoder&) = delete;

    // Decodes a compressed content, of method 2 or 3 (CtStreamDecoder) or
    // 4 or 5 (CtZstdDecoder), as that decoder's Decode does: the bytes
    // handed to sink, or -1 with *error filled. Any other method fails
    // with kCtErrorMethod.
    int32_t Decode(int32_t method, const uint8_t* source, int32_t length, int32_t capacity,
                   CtSink* sink, CtCompressExcept* error);

private:
    CtStreamDecoder stages_;
    CtZstdDecoder zstd_;
};

#endif
