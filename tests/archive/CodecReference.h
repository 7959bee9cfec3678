// A plain, bit-by-bit decoder of compressed contents that the tests and the
// fuzz targets hold the real one against, and a way to learn the code of a
// failed CtDecompress call from its log text.
//
// The reference is written for reading, not for speed: one bit, one byte
// at a time, growing vectors, and the checks in the order the format gives.
// Where the format trusts its data it answers with the codes CtDecompress
// documents for the same condition.
#ifndef VEL_TESTS_ARCHIVE_CODECREFERENCE_H
#define VEL_TESTS_ARCHIVE_CODECREFERENCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "services/LogRouting.h"

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

// Catches the texts that CtDecompress logs on channel 69 while it is
// attached (it attaches itself for its lifetime).
class DecodeLog : public LogReceiver {
public:
    DecodeLog();
    ~DecodeLog() override;
    void Log(const char* text) override;

    std::vector<std::string> texts;

    // The code of the last "Erreur en décompréssion code %d" text, or 0.
    int32_t LastCode() const;
};

// CtDecompress into a buffer of exactly capacity bytes (filled with 0xA5
// beforehand), with its result and logged code.
struct Decoded {
    int32_t result;
    int32_t code;
    std::vector<uint8_t> buffer;
};
Decoded DecompressCaught(const std::vector<uint8_t>& source, int32_t capacity);

#endif
