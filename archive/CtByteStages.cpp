#include "archive/CtByteStages.h"

#include <cstring>

#include "archive/CtDecompress.h"
#include "archive/CtWide.h"

namespace {

using namespace CtWide;

// Back-references reach this far; the history in front of the block holds
// as much.
const uint32_t kReach = 255;

// The longest copy of a sequence: a count byte's 255.
const ptrdiff_t kLongest = 255;

// The bytes a sequence's copy writes past its end: CopyReferenceWide moves
// whole words from the sequence's first byte, 16 bytes at least, and the
// run stage fills in steps of 16.
const ptrdiff_t kOverrun = 16;

// Input a wide step may read: 16 bytes, or an escape sequence (3 bytes at
// most) behind 15.
const ptrdiff_t kWideInput = 15 + 3;

// Output a wide step may write: 15 literal bytes, a sequence's copy and its
// overrun.
const ptrdiff_t kWideRoom = 15 + kLongest + kOverrun;

// The same for a step of the run stage: 32 bytes, or a run (2 bytes) behind
// 31.
const ptrdiff_t kRunInput = 31 + 2;
const ptrdiff_t kRunRoom = 31 + kLongest + kOverrun;

// A reference at a distance below 8 (CopyReferenceWide) builds its first
// word from the word in front of it: the last `distance` bytes, shifted
// down by kShift and repeated by the multiplier kRepeat; every further word
// repeats the one kStep bytes back, a whole number of periods (8 or more).
const uint8_t kShift[8] = {0, 56, 48, 40, 32, 24, 16, 8};
const uint64_t kRepeat[8] = {0,
                             0x0101010101010101ull,
                             0x0001000100010001ull,
                             0x0001000001000001ull,
                             0x0000000100000001ull,
                             0x0000010000000001ull,
                             0x0001000000000001ull,
                             0x0100000000000001ull};
const uint8_t kStep[8] = {8, 8, 8, 9, 8, 10, 12, 14};

// Copies count bytes (0 to 255) from distance bytes back (0 to 255), a
// count above the distance repeating the last distance bytes, in whole
// words: 16 bytes (kOverrun) at least, with one branch on the distance. It may read
// the 8 bytes in front of out and write up to 15 bytes past the copy.
// Distance 0 copies zeros, as in CtRefStage::Copy.
template <class W>
inline void CopyReferenceWide(uint8_t* out, uint32_t distance, uint32_t count) {
    uint32_t step = distance;
    if (distance < 8) {
        StoreLow64(out, (LoadLow64(out - 8) >> kShift[distance]) * kRepeat[distance]);
        step = kStep[distance];
    } else {
        Store64(out, Load64(out - distance));
    }
    // From here on each word is the one step bytes back.
    Store64(out + 8, Load64(out + 8 - step));
    if (count <= 16) return;
    if (step >= 16) {
        for (uint32_t done = 16; done < count; done += 16) W::Copy16(out + done, out + done - step);
        return;
    }
    for (uint32_t done = 16; done < count; done += 8) Store64(out + done, Load64(out + done - step));
}

// The sequence whose escape is at `at`, a literal escape or a reference
// whose distance reaches output that exists: expanded at *out, which
// advances past it; answers the input behind it.
template <class W>
inline const uint8_t* ExpandSequence(const uint8_t* at, uint8_t** out, uint8_t escape) {
    const uint8_t distance = at[1];
    if (distance == escape) {
        *(*out)++ = escape;
        return at + 2;
    }
    const uint8_t count = at[2];
    CopyReferenceWide<W>(*out, distance, count);
    *out += count;
    return at + 3;
}

// The back-reference stage in batches of kBatch input bytes, whose escape
// bytes are found at once: each sequence's place comes from the bitmap
// rather than from a search that waits on the end of the sequence before
// it, so that no sequence waits on the one before. A batch reads
// kBatchInput bytes of input, 32 literal bytes beyond its end at most, and
// needs the room for the literals in front of a sequence and the sequence
// itself: kBatchRoom. The run stage's sequences lie too far apart for
// batches.
const ptrdiff_t kBatch = 256;
const ptrdiff_t kBatchInput = kBatch + 32;
const ptrdiff_t kBatchRoom = kBatch + kWideRoom;
const int kBatchWords = kBatch / kMaskBits;

// Copies n literal bytes from in to out in moves of 16, two at least, so
// that it reads and writes up to 31 bytes past them: most runs of literals
// are shorter than 32, and the branch of a second move would often be
// guessed wrong.
template <class W>
inline void CopyLiterals(uint8_t* out, const uint8_t* in, ptrdiff_t n) {
    W::Copy16(out, in);
    W::Copy16(out + 16, in + 16);
    for (ptrdiff_t done = 32; done < n; done += 16) W::Copy16(out + done, in + done);
}

// Whole batches from *in, where every distance reaches output that exists,
// as long as input and room allow; stops at the start of a sequence or of
// a literal.
template <class W>
void RefBatches(const uint8_t** inOut, uint8_t** outOut, const uint8_t* end,
                const uint8_t* limit, typename W::Escapes escapes, uint8_t escape) {
    const uint8_t* in = *inOut;
    uint8_t* out = *outOut;
    while (end - in >= kBatchInput && limit - out >= kBatchRoom) {
        const uint8_t* const base = in;
        Mask words[kBatchWords];
        W::EscapeBitmap(base, escapes, words, kBatchWords);
        for (int k = 0; k < kBatchWords; ++k) {
            for (Mask bits = words[k]; bits != 0; bits &= bits - 1) {
                const uint8_t* const at = base + kMaskBits * k + LowestBit(bits);
                // A count byte equal to the escape, or the second byte of a
                // literal escape, belongs to the sequence before it.
                if (at < in) continue;
                if (limit - out < kBatchRoom) goto stop;
                CopyLiterals<W>(out, in, at - in);
                out += at - in;
                in = ExpandSequence<W>(at, &out, escape);
            }
        }
        // The literals to the end of the batch, unless the last sequence
        // went past it.
        const uint8_t* const to = base + kBatch;
        if (in < to) {
            if (limit - out < kBatchRoom) break;
            CopyLiterals<W>(out, in, to - in);
            out += to - in;
            in = to;
        }
    }
stop:
    *inOut = in;
    *outOut = out;
}

// What a stage's wide steps work on, taken from its members and handed
// back: in locals, which the byte stores cannot alias.
struct Steps {
    const uint8_t* in;
    const uint8_t* end;
    uint8_t* out;
    const uint8_t* limit;
    // The back-reference stage: distances up to out - origin reach output
    // that exists; set when the steps stop at one that reaches further.
    const uint8_t* origin;
    bool tooFar;
    uint8_t escape;
};

// The back-reference stage's wide steps (see CtRefStage::WideSteps).
template <class W>
inline void RefSteps(Steps* s) {
    const uint8_t* in = s->in;
    uint8_t* out = s->out;
    const uint8_t* const end = s->end;
    const uint8_t* const limit = s->limit;
    const uint8_t* const origin = s->origin;
    const uint8_t escape = s->escape;
    const typename W::Escapes escapes = W::EscapesOf(escape);
    for (;;) {
        if (W::kBatches && out - origin >= static_cast<ptrdiff_t>(kReach)) {
            RefBatches<W>(&in, &out, end, limit, escapes, escape);
        }
        if (end - in < kWideInput || limit - out < kWideRoom) break;
        if (!W::CopyToEscape(&in, &out, escapes)) continue;
        if (out - origin < 8) break;
        if (in[1] != escape && in[1] > out - origin) {
            s->tooFar = true;
            break;
        }
        in = ExpandSequence<W>(in, &out, escape);
    }
    s->in = in;
    s->out = out;
}

// The run stage's wide steps (see CtRunStage::WideSteps).
template <class W>
inline void RunSteps(Steps* s) {
    const uint8_t* in = s->in;
    uint8_t* out = s->out;
    const uint8_t* const end = s->end;
    const uint8_t* const limit = s->limit;
    const uint8_t escape = s->escape;
    const typename W::Escapes escapes = W::EscapesOf(escape);
    while (end - in >= kRunInput && limit - out >= kRunRoom) {
        if (!W::CopyToEscape32(&in, &out, escapes)) continue;
        const uint8_t k = in[1];
        in += 2;
        if (k == escape) {
            *out++ = escape;
            continue;
        }
        const uint8_t c = out[-1];
        for (uint32_t done = 0; done < k; done += 16) W::Fill16(out + done, c);
        out += k;
    }
    s->in = in;
    s->out = out;
}

// The steps of each variant: the vector ones built for SSE2 (see CtWide.h).
void RefWordSteps(Steps* s) {
    RefSteps<Words>(s);
}

CT_FLAT CT_VECTOR_CODE void RefVectorSteps(Steps* s) {
    RefSteps<Vectors>(s);
}

void RunWordSteps(Steps* s) {
    RunSteps<Words>(s);
}

CT_FLAT CT_VECTOR_CODE void RunVectorSteps(Steps* s) {
    RunSteps<Vectors>(s);
}

}  // namespace

// ---- Both stages ------------------------------------------------------------

void CtBlockStage::StartBlock(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound,
                              uint32_t reach, CtSink* next, CtWide::Path path) {
    code = 0;
    escape_ = escape;
    path_ = path;
    stopped_ = false;
    last_ = 0;
    block_ = block;
    out_ = block;
    flushed_ = 0;
    full_ = false;
    blockSize_ = size;
    bound_ = bound;
    reach_ = reach;
    next_ = next;
    SetLimit();
}

void CtBlockStage::SetLimit() {
    const uint32_t left = bound_ - flushed_;
    blockLimited_ = left > static_cast<uint32_t>(blockSize_);
    limit_ = block_ + (blockLimited_ ? static_cast<uint32_t>(blockSize_) : left);
}

int32_t CtBlockStage::Flush() {
    const int32_t n = static_cast<int32_t>(out_ - block_);
    if (n == 0) return 1;
    if (next_->Write(block_, n) == 0) {
        stopped_ = true;
        return 0;
    }
    last_ = out_[-1];
    // While more blocks may follow, the last reach bytes output go in front
    // of the block; after a short block some of them come from that area
    // itself, and those lie in front of the output, where no reference
    // reaches.
    if (blockLimited_) std::memmove(block_ - reach_, out_ - reach_, reach_);
    flushed_ += static_cast<uint32_t>(n);
    out_ = block_;
    SetLimit();
    return 1;
}

bool CtBlockStage::MakeRoom() {
    if (!blockLimited_) {
        full_ = true;
        return false;
    }
    return Flush() != 0;
}

inline bool CtBlockStage::Put(uint8_t c) {
    if (out_ == limit_ && !MakeRoom()) return false;
    *out_++ = c;
    return true;
}

inline bool CtBlockStage::FlushesEarly(ptrdiff_t room, ptrdiff_t input, const uint8_t* in,
                                       const uint8_t* end) const {
    return blockLimited_ && limit_ - out_ < room && out_ - block_ >= room && end - in >= input;
}

// ---- Back-reference stage ----------------------------------------------

void CtRefStage::Start(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound,
                       CtSink* next, CtWide::Path path) {
    StartBlock(escape, block, size, bound, kReach, next, path);
    carryLength_ = 0;
}

uint32_t CtRefStage::Produced() const {
    return flushed_ + static_cast<uint32_t>(out_ - block_);
}

// A Put or Copy that found no room: at the bound the stage fails with
// kCtErrorCapacity, else the next sink stopped it.
int32_t CtRefStage::Halt() {
    if (AtBound()) code = kCtErrorCapacity;
    return -1;
}

bool CtRefStage::Copy(uint32_t distance, uint32_t count) {
    while (count > 0) {
        if (out_ == limit_ && !MakeRoom()) return false;
        const uint32_t room = static_cast<uint32_t>(limit_ - out_);
        const uint32_t n = count < room ? count : room;
        if (distance == 0) {
            // Distance 0 names the byte being produced; in the zero-filled
            // area that the format assumes it reads as 0 (the wide steps
            // leave other values ahead of the output, hence no copy).
            std::memset(out_, 0, n);
        } else {
            // Byte by byte: source and target may overlap.
            const uint8_t* from = out_ - distance;
            for (uint32_t i = 0; i < n; ++i) out_[i] = from[i];
        }
        out_ += n;
        count -= n;
    }
    return true;
}

// One literal or escape sequence at p, of which available bytes are at
// hand: the bytes it took, 0 when it needs more, -1 when the stage failed
// or the next sink stopped.
int32_t CtRefStage::Item(const uint8_t* p, int32_t available) {
    const uint8_t c = p[0];
    if (c != escape_) return Put(c) ? 1 : Halt();
    if (available < 2) return 0;
    const uint8_t distance = p[1];
    // Escape, escape is the escape byte itself; no reference can have the
    // escape as its distance.
    if (distance == escape_) return Put(c) ? 2 : Halt();
    if (distance > Produced()) {
        code = kCtErrorReference;
        return -1;
    }
    if (available < 3) return 0;
    return Copy(distance, p[2]) ? 3 : Halt();
}

void CtRefStage::WideSteps(const uint8_t** inOut, const uint8_t* end) {
    // Whole batches where the processor has vectors and the input and the
    // room allow them, else single steps: each copies 16 literal bytes
    // before it knows where the next escape stands. The first 255 bytes of
    // the output go step by step, as only they can meet a reference that
    // reaches in front of the output, and the sequences of the first 8
    // byte by byte (Item), since a wide copy loads the 8 bytes in front of
    // its target. Either way a reference moves in whole words past its end;
    // the bytes written ahead of the output position are overwritten by
    // what follows.
    Steps steps = {*inOut, end, out_, limit_, block_ - (flushed_ < kReach ? flushed_ : kReach),
                   false, escape_};
    if (path_ == kVectors) {
        RefVectorSteps(&steps);
    } else {
        RefWordSteps(&steps);
    }
    if (steps.tooFar) code = kCtErrorReference;
    *inOut = steps.in;
    out_ = steps.out;
}

int32_t CtRefStage::Write(const uint8_t* data, int32_t length) {
    if (code != 0) return 1;
    const uint8_t* in = data;
    const uint8_t* const end = data + length;
    // An escape sequence cut by the end of the last piece, completed from
    // this one byte by byte.
    while (carryLength_ > 0 && in < end) {
        carry_[carryLength_++] = *in++;
        const int32_t used = Item(carry_, carryLength_);
        if (used < 0) return stopped_ ? 0 : 1;
        if (used > 0) carryLength_ = 0;
    }
    for (;;) {
        WideSteps(&in, end);
        if (code != 0 || in == end) return 1;
        if (FlushesEarly(kWideRoom, kWideInput, in, end)) {
            if (Flush() == 0) return 0;
            continue;
        }
        const int32_t used = Item(in, static_cast<int32_t>(end - in));
        if (used < 0) return stopped_ ? 0 : 1;
        if (used == 0) {
            carryLength_ = static_cast<int32_t>(end - in);
            std::memcpy(carry_, in, static_cast<size_t>(carryLength_));
            return 1;
        }
        in += used;
    }
}

int32_t CtRefStage::Finish() {
    if (code != 0) return 1;
    if (carryLength_ > 0) {
        code = kCtErrorTruncated;
        return 1;
    }
    return Flush();
}

// ---- Run stage -------------------------------------------------------------

void CtRunStage::Start(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound,
                       CtSink* next, CtWide::Path path) {
    // A run repeats the last byte output (0 before the first): of a block
    // handed on, only that byte matters to the next.
    StartBlock(escape, block, size, bound, 0, next, path);
    pending_ = false;
}

bool CtRunStage::Fill(uint32_t count) {
    const uint8_t c = out_ > block_ ? out_[-1] : last_;
    while (count > 0) {
        if (out_ == limit_ && !MakeRoom()) return false;
        const uint32_t room = static_cast<uint32_t>(limit_ - out_);
        const uint32_t n = count < room ? count : room;
        std::memset(out_, c, n);
        out_ += n;
        count -= n;
    }
    return true;
}

// One literal or escape sequence at p: the bytes it took (the whole
// sequence, also when the bound cuts its output), or 0 for an escape whose
// count is not at hand.
int32_t CtRunStage::Item(const uint8_t* p, int32_t available) {
    if (p[0] != escape_) {
        Put(p[0]);
        return 1;
    }
    if (available < 2) return 0;
    const uint8_t k = p[1];
    if (k == escape_) {
        Put(escape_);
    } else {
        Fill(k);
    }
    return 2;
}

void CtRunStage::WideSteps(const uint8_t** inOut, const uint8_t* end) {
    // Wide steps as in the back-reference stage, over 32 bytes, whose
    // escapes are found at once: its sequences lie further apart (runs of
    // fewer than 9 repetitions are left to that stage), and every step that
    // meets one costs a mispredicted branch. Literal bytes are copied
    // before the next escape is known, runs filled in steps of 16 past
    // their end. A run repeats the byte in front of the output, so the
    // steps wait for a block's first byte.
    if (out_ == block_) return;
    Steps steps = {*inOut, end, out_, limit_, nullptr, false, escape_};
    if (path_ == kVectors) {
        RunVectorSteps(&steps);
    } else {
        RunWordSteps(&steps);
    }
    *inOut = steps.in;
    out_ = steps.out;
}

// Beyond the bound: the escapes pair off to the end, where one may be left
// without its count.
void CtRunStage::Scan(const uint8_t* in, const uint8_t* end) {
    if (pending_ && in < end) {
        ++in;
        pending_ = false;
    }
    while (in < end) {
        if (*in != escape_) {
            ++in;
        } else if (end - in < 2) {
            pending_ = true;
            return;
        } else {
            in += 2;
        }
    }
}

int32_t CtRunStage::Write(const uint8_t* data, int32_t length) {
    const uint8_t* in = data;
    const uint8_t* const end = data + length;
    if (AtBound()) {
        Scan(in, end);
        return 1;
    }
    if (pending_ && in < end) {
        const uint8_t sequence[2] = {escape_, *in++};
        pending_ = false;
        Item(sequence, 2);
    }
    for (;;) {
        if (stopped_) return 0;
        if (AtBound()) {
            Scan(in, end);
            return 1;
        }
        WideSteps(&in, end);
        if (in == end) return 1;
        if (FlushesEarly(kRunRoom, kRunInput, in, end)) {
            if (Flush() == 0) return 0;
            continue;
        }
        const int32_t used = Item(in, static_cast<int32_t>(end - in));
        if (used == 0) {
            pending_ = true;
            return 1;
        }
        in += used;
    }
}

int32_t CtRunStage::Finish() {
    // An escape without its count is reported before an excess of output.
    if (pending_) {
        code = kCtErrorTruncated;
    } else if (AtBound()) {
        code = kCtErrorCapacity;
    }
    if (code != 0) return 1;
    return Flush();
}
