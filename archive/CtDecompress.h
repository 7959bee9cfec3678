// The decompressor of compressed archive contents (methods 2 and 3).
//
// A compressed content is a flags byte, the escape bytes of the stages it
// names, and the stage data. The stages are undone in the order bit-coded,
// back-reference, run. CtDecode decodes a whole content into the caller's
// buffer and reports a failure by its code; CtDecompress, the decoder of the
// format, turns every failure into a log text on channels 69 and 0 and a
// result of 0. Both run the streaming decoder of CtStreamDecoder.h.
#ifndef VEL_ARCHIVE_CTDECOMPRESS_H
#define VEL_ARCHIVE_CTDECOMPRESS_H

#include <cstdint>

// Flags bits of a compressed content.
enum : uint8_t {
    kCtStageBits = 0x10,  // bit-coded stage; its header opens the stage data
    kCtStageRuns = 0x20,  // run stage; its escape byte follows the flags
    kCtStageRefs = 0x40,  // back-reference stage; its escape follows the run escape
};

// The error record of a failed decoding. The decoder is built without C++
// exceptions (the launcher stub cannot carry their runtime): a stage that
// meets damaged data fills the caller's record and answers -1, and each
// caller hands it on the same way.
struct CtCompressExcept {
    int32_t code;
};

// Fills the caller's record and answers the -1 that travels back up.
inline int32_t CtFail(CtCompressExcept* error, int32_t code) {
    error->code = code;
    return -1;
}

// Codes of CtCompressExcept. 21 to 25 and 61 are the format's own; 23, 26,
// 27 and 62 name conditions that the format leaves to the data or that come
// with decoding by blocks.
enum : int32_t {
    kCtErrorPrefix = 21,     // bit-coded: a 0000 prefix before the last byte
    kCtErrorHeader = 22,     // bit-coded: header longer than the stage data
    kCtErrorList = 23,       // bit-coded: a width above 8, or a code past list place 255
    kCtErrorPosition = 24,   // bit-coded: read position beyond the stream after a prefix
    kCtErrorCapacity = 25,   // a stage would write beyond its target
    kCtErrorMemory = 26,     // capacity out of range, or no memory for the blocks
    kCtErrorStopped = 27,    // the streaming decoder's sink asked to stop
    kCtErrorReference = 61,  // back-reference to before the start of the output
    kCtErrorTruncated = 62,  // data ends inside the frame or inside an escape sequence
};

// The output of the back-reference stage may run this many bytes beyond the
// unpacked size: the format's decoder expands that stage into a scratch
// area of the unpacked size + 256 bytes (kCtErrorCapacity past it), and the run
// stage behind it, or the content's own bound, brings the output back to
// the unpacked size. A block that takes the last stage's output in place
// keeps as many bytes behind the content; they also hold the one symbol
// beyond the unpacked size that the bit-coded stage is asked for (see
// CtBitDecoder::DecodeUpTo).
const int32_t kCtSpare = 256;

// The frame of a compressed content: flags, the run escape if 0x20, the
// reference escape if 0x40, then the stage data.
struct CtFrame {
    uint8_t flags;
    uint8_t runEscape;
    uint8_t refEscape;
    const uint8_t* data;
    int32_t length;

    // No stage: the stage data is the content.
    bool Plain() const { return (flags & (kCtStageBits | kCtStageRefs | kCtStageRuns)) == 0; }

    // The bytes a block needs behind the content when the last stage
    // writes straight into it: kCtSpare, or none when there is no stage or
    // the run stage comes last, which writes nothing beyond the unpacked
    // size.
    int32_t Spare() const { return Plain() || (flags & kCtStageRuns) != 0 ? 0 : kCtSpare; }
};

// Reads the frame of length bytes at source: 1, or -1 with kCtErrorTruncated when the
// content ends inside it.
int32_t CtReadFrame(const uint8_t* source, int32_t length, CtFrame* frame,
                    CtCompressExcept* error);

// Decodes length bytes at source into destination, which holds capacity
// bytes (the entry's unpacked size). Answers the bytes written, or -1 with
// error->code set. Either way every one of the capacity bytes is written:
// the content and zeros behind it, or zeros only after a failure, so that
// a zero-filled destination keeps its zeros where no content lands. A
// content whose last stage is the run stage, or that has no stage, is
// decoded straight into the destination; any other is decoded into a block
// of capacity + kCtSpare bytes and copied, so that for those a capacity whose
// block cannot be had fails with kCtErrorMemory. A negative capacity, or
// one beyond CtMem::kMaxRequest, fails with kCtErrorMemory and nothing
// written.
int32_t CtDecode(const uint8_t* source, int32_t length, uint8_t* destination, int32_t capacity,
                 CtCompressExcept* error);

// CtDecode through a block of capacity + kCtSpare bytes, copied into
// destination when the content decodes (destination otherwise keeps what
// it held), with a failure turned into the text "Erreur en décompréssion
// code %d" on log channels 69 and 0 and a result of 0.
int32_t CtDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                     int32_t capacity);

// The log text of a failed content read, "Erreur en décompréssion code %d"
// with the error's code, on channels 69 and 0.
void CtLogFailure(int32_t code);

#endif
