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

// The frame of a compressed content: flags, the run escape if 0x20, the
// reference escape if 0x40, then the stage data.
struct CtFrame {
    uint8_t flags;
    uint8_t runEscape;
    uint8_t refEscape;
    const uint8_t* data;
    int32_t length;
};

// Reads the frame of length bytes at source: 1, or -1 with code 62 when the
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
// of capacity + 256 bytes and copied, so that for those a capacity whose
// block cannot be had fails with code 26. A negative capacity, or one
// beyond CtMem::kMaxRequest, fails with code 26 and nothing written.
int32_t CtDecode(const uint8_t* source, int32_t length, uint8_t* destination, int32_t capacity,
                 CtCompressExcept* error);

// CtDecode through a block of capacity + 256 bytes, copied into
// destination when the content decodes (destination otherwise keeps what
// it held), with a failure turned into the text "Erreur en décompréssion
// code %d" on log channels 69 and 0 and a result of 0.
int32_t CtDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                     int32_t capacity);

// The two byte stages alone, undone from input into output, which holds
// capacity bytes; they answer the number of bytes produced, or -1 with
// *error filled. Neither reads past input + length nor writes past output +
// capacity; bytes of output beyond the result may be overwritten, also when
// they fail.
//
// Back-reference stage: escape, distance (1..255) and count copy earlier
// output; escape, escape is a literal escape byte.
int32_t CtExpandRefs(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error);

// Run stage: escape and count k repeat the last literal k times; escape,
// escape is a literal escape byte; escape, 0 produces nothing. An escape
// without its count at the end of the input is reported (code 62) before an
// excess of output (code 25).
int32_t CtExpandRuns(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error);

#endif
