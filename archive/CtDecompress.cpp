#include "archive/CtDecompress.h"

#include <cstring>

#include "app/LogRouting.h"
#include "archive/CtBitDecoder.h"
#include "archive/CtMem.h"
#include "services/Text.h"

namespace {

// Each scratch area holds the unpacked size and this much more: the
// back-reference stage may legitimately produce a little more than the
// unpacked size when the run stage doubled escape bytes.
const int32_t kScratchSpare = 256;

void Fail(int32_t code) {
    throw CtCompressExcept{code};
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store64(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, sizeof v);
}

// Offset of the first escape byte among the 8 bytes of word (loaded in
// memory order), or 8 when there is none. The borrow of the zero-byte test
// can only mark bytes above a true match, so the lowest mark is exact.
int FirstEscape(uint64_t word, uint64_t escapes) {
    const uint64_t kLow = 0x0101010101010101ull;
    const uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t x = word ^ escapes;
    uint64_t marks = (x - kLow) & ~x & kHigh;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    marks = __builtin_bswap64(marks);
#endif
    return marks == 0 ? 8 : __builtin_ctzll(marks) >> 3;
}

// Copies count bytes from distance bytes back (1 or more), overlapping
// copies repeating the last distance bytes. With 8 bytes of room behind the
// copy it moves whole words and may overwrite those 8 bytes.
void CopyReference(uint8_t* out, uint32_t distance, uint32_t count, bool room) {
    const uint8_t* from = out - distance;
    if (!room || count < 4) {
        for (uint32_t i = 0; i < count; ++i) out[i] = from[i];
        return;
    }
    if (distance == 1) {
        std::memset(out, from[0], count);
        return;
    }
    uint32_t done = 0;
    uint32_t step = distance;
    if (distance < 8) {
        // Lay down the pattern until a whole number of periods, 8 bytes or
        // more, stands behind the copy; from then on words never overlap.
        step = distance * ((8 + distance - 1) / distance);
        const uint32_t head = step - distance < count ? step - distance : count;
        for (; done < head; ++done) out[done] = from[done];
    }
    for (; done < count; done += 8) Store64(out + done, Load64(out + done - step));
}

// Stage order and the frame: flags, run escape if 0x20, reference escape if
// 0x40, stage data.
int32_t Decode(const uint8_t* source, int32_t length, uint8_t* destination, int32_t capacity) {
    if (length < 1) Fail(kCtErrorTruncated);
    const uint8_t flags = source[0];
    const uint8_t* input = source + 1;
    int32_t inputLength = length - 1;
    uint8_t runEscape = 0;
    uint8_t refEscape = 0;
    if (flags & kCtStageRuns) {
        if (inputLength < 1) Fail(kCtErrorTruncated);
        runEscape = *input++;
        --inputLength;
    }
    if (flags & kCtStageRefs) {
        if (inputLength < 1) Fail(kCtErrorTruncated);
        refEscape = *input++;
        --inputLength;
    }

    // A scratch area is taken only for a stage that writes into it: zero
    // filling one that no stage uses would cost as much as a stage.
    const int32_t scratch = CtMem::Padded(capacity, kScratchSpare);
    if (scratch < 0) Fail(kCtErrorMemory);
    CtMem a((flags & kCtStageBits) ? scratch : 0);
    if (flags & kCtStageBits) {
        if (!a.Held()) Fail(kCtErrorMemory);
        inputLength = CtBitDecode(input, inputLength, a.data, capacity);
        input = a.data;
    }
    CtMem b((flags & kCtStageRefs) ? scratch : 0);
    if (flags & kCtStageRefs) {
        if (!b.Held()) Fail(kCtErrorMemory);
        inputLength = CtExpandRefs(refEscape, input, inputLength, b.data, b.size);
        input = b.data;
    }
    if (flags & kCtStageRuns) {
        return CtExpandRuns(runEscape, input, inputLength, destination, capacity);
    }
    if (inputLength > capacity) Fail(kCtErrorCapacity);
    if (inputLength > 0) std::memcpy(destination, input, static_cast<size_t>(inputLength));
    return inputLength;
}

}  // namespace

int32_t CtDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                     int32_t capacity) {
    try {
        return Decode(source, length, destination, capacity);
    } catch (const CtCompressExcept& e) {
        // "Erreur en décompréssion code %d", at most 128 bytes.
        char text[128] = "Erreur en d\xE9"
                         "compr\xE9"
                         "ssion code ";
        // Every code is a positive constant of ours.
        char digits[13];
        int32_t position = TextLength(text);
        TextCopy(text, NumberToText(static_cast<uint32_t>(e.code), digits, 10), sizeof text,
                 &position);
        SendLog(kLogArchive, text);
        return 0;
    }
}

int32_t CtExpandRefs(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity) {
    const uint8_t* in = input;
    const uint8_t* const inEnd = input + (length > 0 ? length : 0);
    uint8_t* out = output;
    uint8_t* const outEnd = output + (capacity > 0 ? capacity : 0);
    const uint64_t escapes = 0x0101010101010101ull * escape;
    for (;;) {
        // Literals, a word at a time while both sides have a word of room.
        while (inEnd - in >= 8 && outEnd - out >= 8) {
            const uint64_t word = Load64(in);
            Store64(out, word);
            const int n = FirstEscape(word, escapes);
            in += n;
            out += n;
            if (n < 8) break;
        }
        while (in < inEnd && *in != escape) {
            if (out == outEnd) Fail(kCtErrorCapacity);
            *out++ = *in++;
        }
        if (in == inEnd) break;
        if (inEnd - in < 2) Fail(kCtErrorTruncated);
        const uint8_t distance = in[1];
        // Escape, escape is the escape byte itself; no reference can have
        // the escape as its distance.
        if (distance == escape) {
            if (out == outEnd) Fail(kCtErrorCapacity);
            *out++ = escape;
            in += 2;
            continue;
        }
        if (distance > out - output) Fail(kCtErrorReference);
        if (inEnd - in < 3) Fail(kCtErrorTruncated);
        const uint8_t count = in[2];
        in += 3;
        if (count > outEnd - out) Fail(kCtErrorCapacity);
        if (distance == 0) {
            // Distance 0 names the byte being produced; in the zero-filled
            // area that the format assumes it reads as 0.
            std::memset(out, 0, count);
        } else {
            CopyReference(out, distance, count, outEnd - out >= count + 8);
        }
        out += count;
    }
    return static_cast<int32_t>(out - output);
}

int32_t CtExpandRuns(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity) {
    const uint8_t* const inEnd = input + (length > 0 ? length : 0);

    // First pass: the size of the output, and the input checked whole, so
    // that the caller's buffer is written only for data that fits.
    int64_t total = 0;
    for (const uint8_t* in = input; in < inEnd;) {
        const void* found = std::memchr(in, escape, static_cast<size_t>(inEnd - in));
        const uint8_t* e = found ? static_cast<const uint8_t*>(found) : inEnd;
        total += e - in;
        if (e == inEnd) break;
        if (inEnd - e < 2) Fail(kCtErrorTruncated);
        total += e[1] == escape ? 1 : e[1];
        in = e + 2;
    }
    if (total > capacity) Fail(kCtErrorCapacity);

    // Second pass: escape, k repeats the last literal k times (1 to 255);
    // escape, escape is one escape byte, which then counts as the last
    // literal; escape, 0 produces nothing. A run before any literal repeats 0.
    uint8_t* out = output;
    uint8_t previous = 0;
    for (const uint8_t* in = input; in < inEnd;) {
        const void* found = std::memchr(in, escape, static_cast<size_t>(inEnd - in));
        const uint8_t* e = found ? static_cast<const uint8_t*>(found) : inEnd;
        if (e > in) {
            std::memcpy(out, in, static_cast<size_t>(e - in));
            out += e - in;
            previous = e[-1];
        }
        if (e == inEnd) break;
        const uint8_t k = e[1];
        if (k == escape) {
            *out++ = escape;
            previous = escape;
        } else if (k != 0) {
            std::memset(out, previous, k);
            out += k;
        }
        in = e + 2;
    }
    return static_cast<int32_t>(out - output);
}
