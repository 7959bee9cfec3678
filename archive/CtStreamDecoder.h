// Decoding a compressed content block by block, in memory that does not
// depend on the content's size.
//
// The stages run as a pipeline: the bit-coded stage decodes a block of
// symbols, the back-reference stage expands it into a block of its own
// (behind the 255 bytes of earlier output that its references may reach),
// the run stage expands that into its block, and each block goes on as soon
// as it is full, the last stage's to the caller's sink. The blocks stay in
// the cache; the content is never held whole.
#ifndef VEL_ARCHIVE_CTSTREAMDECODER_H
#define VEL_ARCHIVE_CTSTREAMDECODER_H

#include <cstdint>

#include "archive/CtMem.h"
#include "archive/CtSink.h"
#include "archive/CtWide.h"

struct CtCompressExcept;

class CtStreamDecoder {
public:
    // Block size of the stages. The bit-coded stage runs its chains of codes
    // in rounds that fit the block, longer ones in a larger block; the three
    // blocks together stay within the second-level cache.
    static constexpr int32_t kDefaultBlock = 65536;
    static constexpr int32_t kMaxBlock = 1 << 24;

    // Takes the blocks, about 3 x block bytes, for any number of Decode
    // calls; a block outside 1..kMaxBlock takes none. Without them every
    // Decode fails with kCtErrorMemory. The byte stages take path, the
    // processor's fastest unless a test chooses: both give the same bytes.
    explicit CtStreamDecoder(int32_t block = kDefaultBlock,
                             CtWide::Path path = CtWide::Fastest());

    CtStreamDecoder(const CtStreamDecoder&) = delete;
    CtStreamDecoder& operator=(const CtStreamDecoder&) = delete;

    bool Held() const { return memory_.Held(); }

    // Decodes length bytes at source, for an unpacked size of capacity
    // bytes (0 to INT32_MAX), handing the content to sink in pieces of at
    // most one block. Answers the number of bytes handed on, or -1 with
    // *error filled.
    //
    // For every content and every capacity that CtDecode takes, the answer
    // and the error code are CtDecode's, and a content that decodes reaches
    // the sink whole and exactly. A failure may be found after pieces have
    // gone out: the sink has then received the start of what the content
    // decodes to, up to where it fails or further (an error of an earlier
    // stage further on is the one reported), never more than capacity
    // bytes; a caller that writes a file deletes it. A sink that answers 0
    // ends the decoding at once with kCtErrorStopped, whatever the
    // rest of the content holds.
    int32_t Decode(const uint8_t* source, int32_t length, int32_t capacity, CtSink* sink,
                   CtCompressExcept* error);

    // Decode, with the last stage writing straight into area, which holds
    // capacity + CtFrame::Spare() bytes: the content lands at its start, in
    // one piece, and the answer and the error code are Decode's. Any byte
    // of the area may be overwritten, also by a call that fails.
    int32_t DecodeInto(const uint8_t* source, int32_t length, uint8_t* area, int32_t capacity,
                       CtCompressExcept* error);

private:
    // Decode into sink, or with area not null DecodeInto (sink then keeps
    // the content in the area).
    int32_t Run(const uint8_t* source, int32_t length, int32_t capacity, CtSink* sink,
                uint8_t* area, CtCompressExcept* error);

    CtMem memory_;
    int32_t block_;
    CtWide::Path path_;
};

#endif
