// A plain, bit-by-bit decoder of compressed contents that the tests and the
// fuzz targets hold the real one against, and the real one's two paths,
// whole-buffer and streaming, called the way the tests compare them.
//
// The reference is written for reading, not for speed: one bit, one byte
// at a time, growing vectors, and the checks in the order the format gives.
// Where the format trusts its data it answers with the codes CtDecode
// documents for the same condition.
#ifndef VEL_TESTS_ARCHIVE_CODECREFERENCE_H
#define VEL_TESTS_ARCHIVE_CODECREFERENCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "archive/CtWide.h"

// What a decoding gave: the bytes, or the code of the error (0 for none).
struct ReferenceResult {
    int32_t code;
    std::vector<uint8_t> bytes;
};

// The bit-coded stage alone, with capacity symbols at most.
ReferenceResult ReferenceBitDecode(const uint8_t* data, size_t size, int32_t capacity);

// A whole compressed content, frame and stages, for an unpacked size of
// capacity bytes (0 or more).
ReferenceResult ReferenceDecompress(const uint8_t* data, size_t size, int32_t capacity);

// CtDecode into a buffer of exactly capacity bytes (filled with 0xA5
// beforehand): its result (-1 on failure), its code (0 on success) and the
// buffer.
struct Decoded {
    int32_t result;
    int32_t code;
    std::vector<uint8_t> buffer;
};
Decoded DecodeCaught(const std::vector<uint8_t>& source, int32_t capacity);

// CtStreamDecoder with the given block size and path, its sink collecting
// every piece (buffer: the pieces back to back).
struct Streamed {
    int32_t result;
    int32_t code;
    std::vector<uint8_t> buffer;
    int32_t pieces;
    int32_t largestPiece;
};
Streamed StreamCaught(const std::vector<uint8_t>& source, int32_t capacity, int32_t block,
                      CtWide::Path path = CtWide::Fastest());

// The streaming decoder with that block against CtDecode, into a sink and
// into an area, on the word path and on the vector path (forced, whatever
// the processor's): the same result and code, on success the same bytes,
// pieces within a block and the capacity. Answers "" when they agree, else what differs; *code (when not
// null) receives the code that CtDecode gave.
std::string CompareStreaming(const std::vector<uint8_t>& source, int32_t capacity, int32_t block,
                             int32_t* code = nullptr);

#endif
