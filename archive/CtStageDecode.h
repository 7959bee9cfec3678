// Each stage of the decoder alone, over whole buffers: what the tests, the
// benchmark and the fuzz targets hold one stage against. The launcher stub
// does not link them (library vel_stage_decode).
#ifndef VEL_ARCHIVE_CTSTAGEDECODE_H
#define VEL_ARCHIVE_CTSTAGEDECODE_H

#include <cstdint>

struct CtCompressExcept;

// They answer the number of bytes produced, or -1 with *error filled.
// Neither reads past input + length nor writes past output + capacity;
// bytes of output beyond the result may be overwritten, also when they
// fail.

// The bit-coded stage of length bytes (its header and stream, see
// CtBitDecoder.h), through the 32-bit window where narrow says so. One
// symbol beyond capacity fails with kCtErrorCapacity.
int32_t CtBitDecode(const uint8_t* data, int32_t length, uint8_t* output, int32_t capacity,
                    CtCompressExcept* error, bool narrow = false);

// Back-reference stage: escape, distance (1..255) and count copy earlier
// output; escape, escape is a literal escape byte.
int32_t CtExpandRefs(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error);

// Run stage: escape and count k repeat the last literal k times; escape,
// escape is a literal escape byte; escape, 0 produces nothing. An escape
// without its count at the end of the input (kCtErrorTruncated) is
// reported before an excess of output (kCtErrorCapacity).
int32_t CtExpandRuns(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error);

#endif
