// Decoding a Zstandard content (methods 4 and 5) block by block through the
// reference library's streaming decoder, handing it on to a sink as
// CtStreamDecoder does for the stages.
//
// The content is one Zstandard frame (RFC 8878) and nothing else, whose
// window is at most 2^kCtZstdWindowLog bytes and which decodes to exactly
// the unpacked size. The library checks the frame as it decodes it (its
// checksum, when the frame carries one, at the end); the rest is checked
// here: the frame's own magic number first (a skippable frame decodes to
// nothing and is not a content), a size the frame declares before anything
// goes out, then the decoded size and that no byte follows the frame.
#ifndef VEL_ARCHIVE_CTZSTDDECODER_H
#define VEL_ARCHIVE_CTZSTDDECODER_H

#include <cstdint>

#include "archive/CtDecompress.h"
#include "archive/CtMem.h"
#include "archive/CtSink.h"

struct ZSTD_DCtx_s;

// Codes of CtCompressExcept beside those of CtDecompress.h, which a
// Zstandard content also gives: kCtErrorTruncated (the data ends inside the
// frame), kCtErrorCapacity (it decodes to more than the unpacked size),
// kCtErrorMemory (no memory for the library's context, window or buffers)
// and kCtErrorStopped.
enum : int32_t {
    kCtErrorFrameSize = 63,  // the frame declares, or decodes to, a size not the unpacked size
    kCtErrorTrailing = 64,   // bytes follow the frame
    kCtErrorZstd = 100,      // the library refuses the frame: 100 + its code (zstd_errors.h)
};

class CtZstdDecoder {
public:
    // The pieces handed to the sink: a frame's largest block, which the
    // library decodes in one step.
    static constexpr int32_t kPiece = 1 << 17;

    // Takes the library's context, which refuses a window above
    // 2^kCtZstdWindowLog bytes, and the piece, unless told not to take
    // anything; the library takes the window and its buffers for the
    // first frame that needs them and keeps them for the next. Without the
    // context every Decode fails with kCtErrorMemory.
    explicit CtZstdDecoder(bool take = true);
    ~CtZstdDecoder();

    CtZstdDecoder(const CtZstdDecoder&) = delete;
    CtZstdDecoder& operator=(const CtZstdDecoder&) = delete;

    bool Held() const { return context_ != nullptr && piece_.Held(); }

    // Decodes the length bytes at source, for an unpacked size of capacity
    // bytes, handing the content to sink in pieces of at most kPiece bytes.
    // Answers capacity, or -1 with *error filled. A failure may be found
    // after pieces have gone out: the sink has then received the start of
    // what the frame decodes to, never more than capacity bytes; a caller
    // that writes a file deletes it. A sink that answers 0 ends the
    // decoding at once with kCtErrorStopped.
    int32_t Decode(const uint8_t* source, int32_t length, int32_t capacity, CtSink* sink,
                   CtCompressExcept* error);

    // The bytes the decoder holds now: the library's context with its
    // window and buffers, and the piece.
    int64_t Memory() const;

private:
    ZSTD_DCtx_s* context_;
    CtMem piece_;
};

// The content read of methods 4 and 5, as CtDecompress is that of 2 and 3:
// decodes into a block of its own, copied into destination (capacity bytes,
// the unpacked size) when the content decodes, which otherwise keeps what
// it held. Answers capacity, or -1 after a failure, which is logged as
// CtDecompress logs its own (CtLogFailure).
int32_t CtZstdDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                         int32_t capacity);

#endif
