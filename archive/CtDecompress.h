// The decompressor of compressed archive contents (methods 2 and 3).
//
// A compressed content is a flags byte, the escape bytes of the stages it
// names, and the stage data. CtDecompress undoes the stages (bit-coded, then
// back-reference, then run) and turns every decoding error into a log text
// on channels 69 and 0 and a result of 0.
#ifndef VEL_ARCHIVE_CTDECOMPRESS_H
#define VEL_ARCHIVE_CTDECOMPRESS_H

#include <cstdint>

// Flags bits of a compressed content.
enum : uint8_t {
    kCtStageBits = 0x10,  // bit-coded stage; its header opens the stage data
    kCtStageRuns = 0x20,  // run stage; its escape byte follows the flags
    kCtStageRefs = 0x40,  // back-reference stage; its escape follows the run escape
};

// The error record a stage throws; CtDecompress catches it.
struct CtCompressExcept {
    int32_t code;
};

// Decodes length bytes at source into destination, which holds capacity
// bytes (the entry's unpacked size). Returns the bytes written, or 0 after a
// logged decoding error, in which case destination is untouched.
int32_t CtDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                     int32_t capacity);

#endif
