#include "archive/CtDecompress.h"

#include <cstddef>
#include <cstring>

#include "archive/CtBitDecoder.h"
#include "archive/CtMem.h"
#include "services/LogRouting.h"
#include "services/Text.h"

namespace {

// Each scratch area holds the unpacked size and this much more: the
// back-reference stage may legitimately produce a little more than the
// unpacked size when the run stage doubled escape bytes.
const int32_t kScratchSpare = 256;

// Fills the caller's record; the -1 travels back up to CtDecompress.
int32_t Fail(CtCompressExcept* error, int32_t code) {
    error->code = code;
    return -1;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void Store64(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, sizeof v);
}

// The top bit of each of the 8 bytes of word (as Load64 gives it) that may
// be an escape, the first byte in memory lowest; 0 when none is. The borrow
// of the zero-byte test can only mark bytes above a true match, so the
// lowest mark is exact.
uint64_t EscapeMarks(uint64_t word, uint64_t escapes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);
#endif
    const uint64_t kLow = 0x0101010101010101ull;
    const uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t x = word ^ escapes;
    return (x - kLow) & ~x & kHigh;
}

// Offset of the first escape that nonzero marks show.
int FirstMark(uint64_t marks) {
    return __builtin_ctzll(marks) >> 3;
}

// One wide step of either byte stage: copies the next 16 input bytes to the
// output before knowing where the next escape stands, then advances both to
// that escape (true) or past all 16 bytes when there is none (false). Needs
// 16 bytes on either side.
inline bool CopyToEscape(const uint8_t** in, uint8_t** out, uint64_t escapes) {
    const uint64_t low = Load64(*in);
    const uint64_t high = Load64(*in + 8);
    Store64(*out, low);
    Store64(*out + 8, high);
    const uint64_t lowMarks = EscapeMarks(low, escapes);
    const uint64_t highMarks = EscapeMarks(high, escapes);
    const int n = lowMarks != 0    ? FirstMark(lowMarks)
                  : highMarks != 0 ? 8 + FirstMark(highMarks)
                                   : 16;
    *in += n;
    *out += n;
    return n < 16;
}

// Room the wide steps of the back-reference stage need behind the output
// position: 15 literal bytes, a reference of 255, and 16 bytes of overrun.
const ptrdiff_t kWideRoom = 15 + 255 + 16;

// Copies count bytes (0 to 255) from distance bytes back (1 or more), a
// count above the distance repeating the last distance bytes, in whole
// words: it may write up to 15 bytes past the copy.
void CopyReferenceWide(uint8_t* out, uint32_t distance, uint32_t count) {
    const uint8_t* from = out - distance;
    if (distance >= 16) {
        for (uint32_t done = 0; done < count; done += 16) {
            Store64(out + done, Load64(from + done));
            Store64(out + done + 8, Load64(from + done + 8));
        }
        return;
    }
    uint32_t done = 0;
    uint32_t step = distance;
    if (distance < 8) {
        // Lay down the pattern until a whole number of periods, 8 bytes or
        // more, stands behind the copy; from then on words never overlap.
        step = distance * ((8 + distance - 1) / distance);
        for (; done < step - distance; ++done) out[done] = from[done];
    }
    for (; done < count; done += 8) Store64(out + done, Load64(out + done - step));
}

// Stage order and the frame: flags, run escape if 0x20, reference escape if
// 0x40, stage data.
int32_t Decode(const uint8_t* source, int32_t length, uint8_t* destination, int32_t capacity,
               CtCompressExcept* error) {
    if (length < 1) return Fail(error, kCtErrorTruncated);
    const uint8_t flags = source[0];
    const uint8_t* input = source + 1;
    int32_t inputLength = length - 1;
    uint8_t runEscape = 0;
    uint8_t refEscape = 0;
    if (flags & kCtStageRuns) {
        if (inputLength < 1) return Fail(error, kCtErrorTruncated);
        runEscape = *input++;
        --inputLength;
    }
    if (flags & kCtStageRefs) {
        if (inputLength < 1) return Fail(error, kCtErrorTruncated);
        refEscape = *input++;
        --inputLength;
    }

    // Every stage writes into a scratch area and only the final copy writes
    // the destination, so that a failure at any stage leaves it untouched.
    // The stages write into areas A and B in turn; an area is taken only
    // when a stage writes into it, since zero filling one costs about as
    // much as a stage.
    const int stages = ((flags & kCtStageBits) != 0) + ((flags & kCtStageRefs) != 0) +
                       ((flags & kCtStageRuns) != 0);
    const int32_t scratch = CtMem::Padded(capacity, kScratchSpare);
    if (scratch < 0) return Fail(error, kCtErrorMemory);
    CtMem a(stages >= 1 ? scratch : 0);
    CtMem b(stages >= 2 ? scratch : 0);
    if ((stages >= 1 && !a.Held()) || (stages >= 2 && !b.Held())) {
        return Fail(error, kCtErrorMemory);
    }
    CtMem* target = &a;
    if (flags & kCtStageBits) {
        inputLength = CtBitDecode(input, inputLength, target->data, capacity, error);
        if (inputLength < 0) return -1;
        input = target->data;
        target = target == &a ? &b : &a;
    }
    if (flags & kCtStageRefs) {
        inputLength = CtExpandRefs(refEscape, input, inputLength, target->data, target->size,
                                   error);
        if (inputLength < 0) return -1;
        input = target->data;
        target = target == &a ? &b : &a;
    }
    if (flags & kCtStageRuns) {
        inputLength = CtExpandRuns(runEscape, input, inputLength, target->data, capacity, error);
        if (inputLength < 0) return -1;
        input = target->data;
    }
    if (inputLength > capacity) return Fail(error, kCtErrorCapacity);
    if (inputLength > 0) std::memcpy(destination, input, static_cast<size_t>(inputLength));
    return inputLength;
}

}  // namespace

int32_t CtDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                     int32_t capacity) {
    // The one place where a failed stage's record becomes the log text and
    // the result 0; the scratch areas are gone with Decode's frame.
    CtCompressExcept error{0};
    const int32_t result = Decode(source, length, destination, capacity, &error);
    if (result >= 0) return result;
    // "Erreur en décompréssion code %d", at most 128 bytes.
    char text[128] = "Erreur en d\xE9"
                     "compr\xE9"
                     "ssion code ";
    // Every code is a positive constant of ours.
    char digits[13];
    int32_t position = TextLength(text);
    TextCopy(text, NumberToText(static_cast<uint32_t>(error.code), digits, 10), sizeof text,
             &position);
    SendLog(kLogArchive, text);
    return 0;
}

int32_t CtExpandRefs(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error) {
    const uint8_t* in = input;
    const uint8_t* const inEnd = input + (length > 0 ? length : 0);
    uint8_t* out = output;
    uint8_t* const outEnd = output + (capacity > 0 ? capacity : 0);
    const uint64_t escapes = 0x0101010101010101ull * escape;

    // While both sides have room to spare, each step copies 16 literal bytes
    // before it knows where the next escape stands, and a reference moves in
    // whole words past its end; the bytes written ahead of the output
    // position are overwritten by what follows. The careful loop below takes
    // the last bytes of either side.
    while (inEnd - in >= 18 && outEnd - out >= kWideRoom) {
        if (!CopyToEscape(&in, &out, escapes)) continue;
        const uint8_t distance = in[1];
        if (distance == escape) {
            *out++ = escape;
            in += 2;
            continue;
        }
        if (distance > out - output) return Fail(error, kCtErrorReference);
        const uint8_t count = in[2];
        in += 3;
        if (distance == 0) {
            std::memset(out, 0, count);  // as in the careful loop below
        } else {
            CopyReferenceWide(out, distance, count);
        }
        out += count;
    }

    for (;;) {
        while (in < inEnd && *in != escape) {
            if (out == outEnd) return Fail(error, kCtErrorCapacity);
            *out++ = *in++;
        }
        if (in == inEnd) break;
        if (inEnd - in < 2) return Fail(error, kCtErrorTruncated);
        const uint8_t distance = in[1];
        // Escape, escape is the escape byte itself; no reference can have
        // the escape as its distance.
        if (distance == escape) {
            if (out == outEnd) return Fail(error, kCtErrorCapacity);
            *out++ = escape;
            in += 2;
            continue;
        }
        if (distance > out - output) return Fail(error, kCtErrorReference);
        if (inEnd - in < 3) return Fail(error, kCtErrorTruncated);
        const uint8_t count = in[2];
        in += 3;
        if (count > outEnd - out) return Fail(error, kCtErrorCapacity);
        if (distance == 0) {
            // Distance 0 names the byte being produced; in the zero-filled
            // area that the format assumes it reads as 0 (the wide steps
            // leave other values ahead of the output, hence no copy).
            std::memset(out, 0, count);
        } else {
            // Byte by byte: source and target may overlap.
            const uint8_t* from = out - distance;
            for (uint32_t i = 0; i < count; ++i) out[i] = from[i];
        }
        out += count;
    }
    return static_cast<int32_t>(out - output);
}

int32_t CtExpandRuns(uint8_t escape, const uint8_t* input, int32_t length, uint8_t* output,
                     int32_t capacity, CtCompressExcept* error) {
    const uint8_t* in = input;
    const uint8_t* const inEnd = input + (length > 0 ? length : 0);
    uint8_t* out = output;
    uint8_t* const outEnd = output + (capacity > 0 ? capacity : 0);

    // An escape in the last byte, without its count, is reported before any
    // excess of output. The input ends in a run of escapes behind a byte
    // that is not one; whether that byte is a literal or a count, the run
    // begins an escape sequence, so its escapes pair off, and an odd run
    // leaves the last escape alone.
    const uint8_t* tail = inEnd;
    while (tail > in && tail[-1] == escape) --tail;
    if ((inEnd - tail) % 2 != 0) return Fail(error, kCtErrorTruncated);

    // Escape, k repeats the last literal k times (1 to 255); escape, escape
    // is one escape byte, which then counts as the last literal; escape, 0
    // produces nothing. A run before any literal repeats 0. The last
    // literal is thus always the last byte output, if any.
    //
    // While the output has room to spare, the wide steps of the
    // back-reference stage: 16 literal bytes copied before the next escape
    // is known, runs filled in whole words past their end; the bytes
    // written ahead of the output position are overwritten by what follows.
    const uint64_t escapes = 0x0101010101010101ull * escape;
    while (inEnd - in >= 18 && outEnd - out >= kWideRoom) {
        if (!CopyToEscape(&in, &out, escapes)) continue;
        const uint8_t k = in[1];
        in += 2;
        if (k == escape) {
            *out++ = escape;
            continue;
        }
        const uint64_t fill = 0x0101010101010101ull * (out == output ? 0 : out[-1]);
        for (uint32_t done = 0; done < k; done += 16) {
            Store64(out + done, fill);
            Store64(out + done + 8, fill);
        }
        out += k;
    }

    // The last bytes one at a time; every escape has its count (see above).
    while (in < inEnd) {
        if (*in != escape) {
            if (out == outEnd) return Fail(error, kCtErrorCapacity);
            *out++ = *in++;
            continue;
        }
        const uint8_t k = in[1];
        in += 2;
        if (k == escape) {
            if (out == outEnd) return Fail(error, kCtErrorCapacity);
            *out++ = escape;
        } else {
            if (k > outEnd - out) return Fail(error, kCtErrorCapacity);
            std::memset(out, out == output ? 0 : out[-1], k);
            out += k;
        }
    }
    return static_cast<int32_t>(out - output);
}
