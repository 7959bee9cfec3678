#include "archive/CtBitDecoder.h"

#include <cstring>

#include "archive/CtDecompress.h"

namespace {

// Below this stream length building the table costs more than it saves.
const int32_t kTableMinimum = 512;

// Table entries: the bits that the entry's codes take in bits 0-5 (bits 4
// and 5 always 0, so that the entry itself is the shift count of the bit
// window: the processor masks shift counts to 6 bits), the number of
// symbols (1 or 2) in bits 6-7, the first symbol in bits 8-15, a second one
// in bits 16-23, and the bits of the first code alone in bits 24-27. An
// entry with no symbol holds an error code in bits 8-15.
const int kTableBits = 12;
const uint32_t kTableSize = 1u << kTableBits;

uint32_t EntryLength(uint32_t e) { return e & 63; }
uint32_t EntryCount(uint32_t e) { return (e >> 6) & 3; }
uint32_t EntryFirstLength(uint32_t e) { return (e >> 24) & 15; }
uint32_t Entry(uint32_t length, uint32_t count, uint32_t first, uint32_t second,
               uint32_t firstLength) {
    return length | count << 6 | first << 8 | second << 16 | firstLength << 24;
}
uint32_t ErrorEntry(int32_t code) { return static_cast<uint32_t>(code) << 8; }

void Fail(int32_t code) {
    throw CtCompressExcept{code};
}

uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

}  // namespace

int32_t CtBitDecode(const uint8_t* data, int32_t length, uint8_t* destination,
                    int32_t capacity) {
    CtBitDecoder decoder;
    decoder.ReadHeader(data, length);
    decoder.stream = data + (decoder.headerLength <= length ? decoder.headerLength : length);
    decoder.streamLength = length - decoder.headerLength;
    decoder.byteIndex = 0;
    decoder.bitPosition = 0;
    int32_t count = 0;
    decoder.DecodeAll(destination, &count, capacity);
    return count;
}

void CtBitDecoder::ReadHeader(const uint8_t* data, int32_t length) {
    if (length < 3) Fail(kCtErrorHeader);
    widths[0] = static_cast<uint8_t>(data[0] >> 4);
    widths[1] = static_cast<uint8_t>(data[0] & 0x0F);
    widths[2] = data[1];
    widths[3] = 8;
    // The list has 256 places: a class of more than 256 symbols cannot be
    // indexed.
    for (int k = 0; k < 3; ++k) {
        if (widths[k] > 8) Fail(kCtErrorList);
    }
    for (int k = 0; k < 4; ++k) masks[k] = static_cast<uint8_t>((1u << widths[k]) - 1);
    const int32_t c = data[2] == 0 ? 256 : data[2];
    const int32_t present = length - 3 < c ? length - 3 : c;
    std::memcpy(symbols, data + 3, static_cast<size_t>(present));
    std::memset(symbols + present, 0, static_cast<size_t>(256 - present));
    headerLength = c + 3;
}

int32_t CtBitDecoder::NextSymbol(uint8_t* symbol) {
    const int32_t L = streamLength;
    if (byteIndex > L) Fail(kCtErrorHeader);
    if (byteIndex == L) return 0;

    int k = 0;
    int32_t base = 0;
    for (;;) {
        const bool one = (stream[byteIndex] >> (7 - bitPosition)) & 1;
        if (!one) {
            base += 1 << widths[k];
            ++k;
            if (k == 4) {
                // A fourth 0 bit is fill in the last byte and an error
                // anywhere else; it is not consumed.
                if (byteIndex + 1 < L) Fail(kCtErrorPrefix);
                return 0;
            }
        }
        // Consuming the last bit of the stream ends it, even when that bit
        // closed a prefix.
        if (++bitPosition == 8) {
            bitPosition = 0;
            if (++byteIndex >= L) return 0;
        }
        if (one) break;
    }
    if (byteIndex > L) Fail(kCtErrorPosition);

    // Index bits may run into the next byte; a code cut off by the end of
    // the stream delivers nothing.
    const int w = widths[k];
    const int32_t lastByte = byteIndex + (bitPosition + w - 1) / 8;
    if (w > 0 && lastByte >= L) return 0;
    uint32_t v = 0;
    for (int i = 0; i < w; ++i) {
        v = (v << 1) | ((stream[byteIndex] >> (7 - bitPosition)) & 1u);
        if (++bitPosition == 8) {
            bitPosition = 0;
            ++byteIndex;
        }
    }
    const int32_t place = base + static_cast<int32_t>(v & masks[k]);
    if (place > 255) Fail(kCtErrorList);
    *symbol = symbols[place];
    return 1;
}

void CtBitDecoder::DecodeAll(uint8_t* destination, int32_t* count, int32_t capacity) {
    int32_t n = 0;
    if (streamLength >= kTableMinimum) {
        BuildTable();
        n = DecodeTable(destination, n, capacity);
    }
    uint8_t symbol;
    while (NextSymbol(&symbol)) {
        if (n >= capacity) Fail(kCtErrorCapacity);
        destination[n++] = symbol;
    }
    *count = n;
}

void CtBitDecoder::BuildTable() {
    // First every window by its leading code alone: a window that opens with
    // four 0 bits is an error, since the table never looks at the last byte.
    for (uint32_t x = 0; x < kTableSize >> 4; ++x) table_[x] = ErrorEntry(kCtErrorPrefix);
    int32_t base = 0;
    for (int k = 0; k < 4; ++k) {
        const int w = widths[k];
        const uint32_t length = static_cast<uint32_t>(k + 1 + w);
        const uint32_t span = 1u << (kTableBits - length);
        for (uint32_t v = 0; v < (1u << w); ++v) {
            const int32_t place = base + static_cast<int32_t>(v);
            const uint32_t entry = place > 255 ? ErrorEntry(kCtErrorList)
                                               : Entry(length, 1, symbols[place], 0, length);
            const uint32_t first = ((1u << w) | v) << (kTableBits - length);
            for (uint32_t x = first; x < first + span; ++x) table_[x] = entry;
        }
        base += 1 << w;
    }
    // Then a second code wherever it lies whole within the same window. The
    // first code of an entry stays as it was, so the pass can read entries
    // it has already extended.
    for (uint32_t x = 0; x < kTableSize; ++x) {
        const uint32_t e = table_[x];
        if (EntryCount(e) == 0) continue;
        const uint32_t used = EntryLength(e);
        const uint32_t f = table_[(x << used) & (kTableSize - 1)];
        const uint32_t total = used + EntryFirstLength(f);
        if (EntryCount(f) == 0 || total > kTableBits) continue;
        table_[x] = Entry(total, 2, (e >> 8) & 0xFF, (f >> 8) & 0xFF, used);
    }
}

int32_t CtBitDecoder::DecodeTable(uint8_t* destination, int32_t count, int32_t capacity) {
    // One 8-byte load feeds four lookups (at most 48 bits from bit 7); the
    // load stays clear of the last byte, where the end rules live. Locals
    // only in the loop: the byte stores could otherwise alias the members.
    // A group of lookups stores at most two symbols from each of four.
    const int32_t kGroup = 8;
    if (streamLength < 9 || capacity - count < kGroup) return count;
    const uint8_t* const stream = this->stream;
    const uint32_t* const table = table_;
    const size_t lastLoad = static_cast<size_t>(streamLength) - 9;
    uint8_t* out = destination + count;
    uint8_t* const stop = destination + (capacity - kGroup);
    size_t position = static_cast<size_t>(byteIndex) * 8 + bitPosition;
    while ((position >> 3) <= lastLoad && out <= stop) {
        uint64_t window = LoadBigEndian64(stream + (position >> 3)) << (position & 7);
        for (int i = 0; i < 4; ++i) {
            const uint32_t e = table[window >> (64 - kTableBits)];
            if (EntryCount(e) == 0) Fail(static_cast<int32_t>(e >> 8));
            out[0] = static_cast<uint8_t>(e >> 8);
            out[1] = static_cast<uint8_t>(e >> 16);
            out += EntryCount(e);
            window <<= EntryLength(e);
            position += EntryLength(e);
        }
    }
    byteIndex = static_cast<int32_t>(position >> 3);
    bitPosition = static_cast<uint8_t>(position & 7);
    return static_cast<int32_t>(out - destination);
}
