// The bit-coded stage: a prefix code over a list of byte values.
//
// Stage data: byte 0 holds widths w0 (high nibble) and w1 (low nibble), byte
// 1 width w2, byte 2 the symbol count c (0 means 256), then c list bytes and
// the bit stream, read most significant bit first. Class k (k = 0..3, w3 = 8)
// covers the next 2^wk list places; a symbol's code is k bits 0, a 1, and
// its wk-bit offset within the class. Zero fill bits in the last byte end
// the stream.
#ifndef VEL_ARCHIVE_CTBITDECODER_H
#define VEL_ARCHIVE_CTBITDECODER_H

#include <cstdint>

struct CtCompressExcept;

// The state of one decoding. Each member that meets damaged data fills
// *error and answers -1.
class CtBitDecoder {
public:
    // Reads widths, masks and the list from the stage's length bytes and
    // answers 1. Fails with kCtErrorHeader when not even the three fixed
    // header bytes are there, and with kCtErrorList for a width above 8.
    // List bytes missing from a short stage are left 0; the first
    // NextSymbol then reports the stage as too short.
    int32_t ReadHeader(const uint8_t* data, int32_t length, CtCompressExcept* error);

    // ReadHeader, then the stream behind the header from its first bit:
    // what Decode starts from. The table path reads the stream through a
    // window of the host's register, 64 or 32 bits (the i686 stub); narrow
    // asks a 64-bit host for the 32-bit window, which decodes the same.
    int32_t Start(const uint8_t* data, int32_t length, CtCompressExcept* error,
                  bool narrow = false);

    // Decodes one symbol bit by bit: 1 with *symbol set, 0 at the end of the
    // stream. The end rules are those of the format, exactly.
    int32_t NextSymbol(uint8_t* symbol, CtCompressExcept* error);

    // The next symbols, up to room of them, into out: answers how many,
    // which is 0 only at the end of the stream (or for a room of 0). The
    // stage's capacity is the caller's: it asks for one symbol more than it
    // takes, and one more delivered is one too many. The same symbols and
    // errors as NextSymbol, in the same order.
    int32_t Decode(uint8_t* out, int32_t room, CtCompressExcept* error);

    // Decode within a stage's capacity, left symbols from here: asks for
    // one symbol more than left (where room allows), and fails with
    // kCtErrorCapacity when that one is delivered. out has room for room
    // symbols; room above left + 1 counts as left + 1.
    int32_t DecodeUpTo(uint8_t* out, int32_t room, int32_t left, CtCompressExcept* error);

    uint8_t widths[4];
    uint8_t masks[4];
    uint8_t symbols[256];
    int32_t headerLength;
    uint8_t bitPosition;  // 0 is the most significant bit of the current byte
    const uint8_t* stream;
    int32_t byteIndex;
    int32_t streamLength;

private:
    // Streams of some length are decoded through a table on the next 12
    // bits, which hold any whole code, 64 or 32 bits of the stream at a time, and
    // by three chains of codes side by side where the room allows. The table
    // path answers the same as NextSymbol wherever no end rule can apply,
    // that is while every bit it looks at lies before the last byte of the
    // stream; NextSymbol takes the last bytes.
    void BuildTable();
    template <class Word>
    int32_t DecodeTableWith(uint8_t* out, int32_t room, CtCompressExcept* error);
    int32_t DecodeTable64(uint8_t* out, int32_t room, CtCompressExcept* error);
    int32_t DecodeTable32(uint8_t* out, int32_t room, CtCompressExcept* error);

    bool tableBuilt_;
    bool ended_;
    bool narrow_;
    uint16_t table_[4096];
    uint64_t codeLengths_;  // the code length by the first 3 bits, a byte each
    int32_t shortest_;      // the shortest code that can be delivered, in bits
};

#endif
