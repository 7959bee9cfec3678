#include "archive/CtBitDecoder.h"

#include <cstddef>
#include <cstring>

#include "archive/CtDecompress.h"
#include "archive/CtWide.h"

namespace {

// Below this stream length building the table (its 4096 entries) costs more
// than it saves.
const int32_t kTableMinimum = 192;

// The table on the next 12 bits of the stream, which hold any whole code:
// the symbol of the code they begin with, or, where that code cannot be
// delivered (a 0000 prefix, or a list place past 255), kErrorEntry and the
// error code. The top bit marks errors, so that the OR of the entries of
// all chains shows one by its sign.
const int kTableBits = 12;
const uint32_t kTableSize = 1u << kTableBits;
const uint32_t kErrorEntry = 0x8000;

// Chains of codes decode side by side (see DecodeTable): kChains of them,
// each kSplit bytes of the stream ahead of the one before it, or less
// towards the end of the stream or of the room, down to kMinSplit. The
// first kMarks code positions of each chain ahead are kept for the meeting.
const int kChains = 3;
const ptrdiff_t kSplit = 4096;
const ptrdiff_t kMinSplit = 128;
const int kMarks = 32;

// The symbols a chain ahead may decode: it stays before the next split, and
// every code is at least one bit long.
const ptrdiff_t kAheadRoom = kSplit * 8;

// The code length by the first three bits of the window (1xx is class 0,
// 01x class 1, 001 class 2, 000 class 3), as a window of Word takes them:
// Of gives the length of the code at the top of the window.
template <class Word>
struct CodeLengths;

// A byte each, as BuildTable keeps them. Of leaves the lengths above the
// one it gives in place (they count in multiples of 256), and the cursor's
// count of valid bits is its low byte: no masking at every code.
template <>
struct CodeLengths<uint64_t> {
    typedef uint64_t Packed;
    static Packed Pack(uint64_t bytes) { return bytes; }
    static CT_STEP uint64_t Of(uint64_t window, Packed lengths) {
        return lengths >> ((window << 6 | window >> 58) & 0x38);
    }
};

// Four bits each (a code takes 12 at most), so that all eight fit a 32-bit
// register; Of masks the one it gives.
template <>
struct CodeLengths<uint32_t> {
    typedef uint32_t Packed;
    static Packed Pack(uint64_t bytes) {
        uint32_t packed = 0;
        for (int top = 0; top < 8; ++top) {
            packed |= static_cast<uint32_t>(bytes >> (8 * top) & 15) << (4 * top);
        }
        return packed;
    }
    static CT_STEP uint32_t Of(uint32_t window, Packed lengths) {
        return lengths >> ((window >> 27) & 0x1C) & 15;
    }
};

inline uint64_t LoadHigh(const uint8_t* p, uint64_t) {
    return CtWide::LoadHigh64(p);
}

inline uint32_t LoadHigh(const uint8_t* p, uint32_t) {
    return CtWide::LoadHigh32(p);
}

// The stream's bits through a window of Word, 64 or 32 bits (a 32-bit
// host's register), read most significant bit first. The next bits stand
// at the top of the window: `held` of them are valid, and the bits below
// are either the stream's own or zero, so that a refill may OR the same
// bytes in again. A refill loads the kLoad bytes at `next` and makes at
// least kBits - 8 bits valid, enough for a step of codes; `next` advances
// by the bytes that became valid as a whole, so the load address of the
// next refill is known at once and its latency stays off the chain of
// shifts. Its steps are always inlined: built for size, as the stub is,
// they would be calls at every code, with the cursor in memory.
template <class Word>
struct BitCursor {
    static const int kBits = 8 * sizeof(Word);

    // A refill loads kLoad bytes and leaves at least kBits - 8 valid: a step
    // of kStepCodes codes, kStepBits bits at most, follows every refill
    // (4 codes in a 64-bit window, 2 in a 32-bit one).
    static constexpr ptrdiff_t kLoad = sizeof(Word);
    static constexpr int kStepCodes = (kBits - 8) / kTableBits;
    static constexpr int32_t kStepBits = kStepCodes * kTableBits;

    // The table path reads nothing of the stream's last byte, where
    // NextSymbol applies the end rules: its last load begins kTail bytes
    // before the end.
    static constexpr ptrdiff_t kTail = kLoad + 1;

    // The table path starts where its first load (at the position) and its
    // first refill (kLoad - 1 bytes further) both stay before the last
    // load.
    static constexpr int32_t kStartRoom = kTail + kLoad - 1;

    // A chain ahead stops where its next load would begin past its limit,
    // with the codes of the window it loaded there decoded: up to kLoad
    // bytes past the limit, and its next load up to kLoad bytes further.
    // The last chain's limit stays kRoundEnd bytes before the last load, so
    // that every load of a round, and of chain a, which goes on from where
    // that chain stopped, begins at or before it.
    static constexpr ptrdiff_t kRoundEnd = 2 * kLoad;

    // The bits of the stream that one round's symbols take besides its
    // splits: the kLoad bytes that the last chain may decode past its
    // limit, and, where a chain ahead is not met, its kMarks first codes
    // that chain a decodes (kTableBits each at most, and a bit for each new
    // beginning).
    static constexpr int64_t kRoundSpare = kLoad * 8 + kMarks * (kTableBits + 1);

    typedef typename CodeLengths<Word>::Packed Lengths;

    const uint8_t* next;
    Word window;
    // The count of valid bits is its low byte (see CodeLengths).
    uint32_t held;

    CT_STEP uint32_t Held() const { return held & 0xFF; }

    // At bit `bit` (0 to 7) of *at, which has kLoad bytes behind it.
    CT_STEP void Start(const uint8_t* at, uint32_t bit) {
        window = static_cast<Word>(LoadHigh(at, Word()) << bit);
        held = kBits - 8 - bit;
        next = at + kLoad - 1;
    }

    // Needs kLoad bytes at next. Fewer than kBits bits are valid, so the
    // counts below take the low bits of held below kBits, and the whole
    // bytes loaded make them kBits - 8 to kBits - 1: the bits of kBits - 8
    // set.
    CT_STEP void Refill() {
        window |= LoadHigh(next, Word()) >> (held & (kBits - 1));
        next += ((kBits - 1 - held) & (kBits - 1)) >> 3;
        held |= kBits - 8;
    }

    // The position of the next code, in bits from *at.
    CT_STEP int32_t Offset(const uint8_t* at) const {
        return static_cast<int32_t>(next - at) * 8 - static_cast<int32_t>(Held());
    }

    // The table entry of the code at the top of the window; needs 12 valid
    // bits.
    CT_STEP uint32_t Peek(const uint16_t* table) const {
        return table[window >> (kBits - kTableBits)];
    }

    // Drops the code at the top of the window. Its length comes from its
    // first three bits (CodeLengths); the chain from one code to the next
    // stays a few shifts long, the table lookup running beside it.
    CT_STEP void Consume(Lengths lengths) {
        const Lengths length = CodeLengths<Word>::Of(window, lengths);
        window <<= length & (kBits - 1);
        held -= static_cast<uint32_t>(length);
    }
};

}  // namespace

int32_t CtBitDecoder::Start(const uint8_t* data, int32_t length, CtCompressExcept* error,
                            bool narrow) {
    if (ReadHeader(data, length, error) < 0) return -1;
    narrow_ = narrow;
    stream = data + (headerLength <= length ? headerLength : length);
    streamLength = length - headerLength;
    byteIndex = 0;
    bitPosition = 0;
    ended_ = false;
    if (streamLength >= kTableMinimum) BuildTable();
    return 1;
}

int32_t CtBitDecoder::ReadHeader(const uint8_t* data, int32_t length, CtCompressExcept* error) {
    if (length < 3) return CtFail(error, kCtErrorHeader);
    widths[0] = static_cast<uint8_t>(data[0] >> 4);
    widths[1] = static_cast<uint8_t>(data[0] & 0x0F);
    widths[2] = data[1];
    widths[3] = 8;
    // The list has 256 places: a class of more than 256 symbols cannot be
    // indexed.
    for (int k = 0; k < 3; ++k) {
        if (widths[k] > 8) return CtFail(error, kCtErrorList);
    }
    for (int k = 0; k < 4; ++k) masks[k] = static_cast<uint8_t>((1u << widths[k]) - 1);
    const int32_t c = data[2] == 0 ? 256 : data[2];
    const int32_t present = length - 3 < c ? length - 3 : c;
    std::memcpy(symbols, data + 3, static_cast<size_t>(present));
    std::memset(symbols + present, 0, static_cast<size_t>(256 - present));
    headerLength = c + 3;
    tableBuilt_ = false;
    return 1;
}

int32_t CtBitDecoder::NextSymbol(uint8_t* symbol, CtCompressExcept* error) {
    const int32_t L = streamLength;
    if (byteIndex > L) return CtFail(error, kCtErrorHeader);
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
                if (byteIndex + 1 < L) return CtFail(error, kCtErrorPrefix);
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
    if (byteIndex > L) return CtFail(error, kCtErrorPosition);

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
    if (place > 255) return CtFail(error, kCtErrorList);
    *symbol = symbols[place];
    return 1;
}

void CtBitDecoder::BuildTable() {
    tableBuilt_ = true;
    // A window that opens with four 0 bits is an error: the table is only
    // read where the window lies before the last byte of the stream.
    for (uint32_t x = 0; x < kTableSize >> 4; ++x) {
        table_[x] = static_cast<uint16_t>(kErrorEntry | kCtErrorPrefix);
    }
    codeLengths_ = 0;
    shortest_ = kTableBits;
    int32_t base = 0;
    for (int k = 0; k < 4; ++k) {
        const int w = widths[k];
        const int length = k + 1 + w;
        if (base <= 255 && length < shortest_) shortest_ = length;
        const uint32_t span = 1u << (kTableBits - length);
        for (uint32_t v = 0; v < (1u << w); ++v) {
            const int32_t place = base + static_cast<int32_t>(v);
            const uint16_t entry = place > 255 ? static_cast<uint16_t>(kErrorEntry | kCtErrorList)
                                               : symbols[place];
            const uint32_t first = ((1u << w) | v) << (kTableBits - length);
            for (uint32_t x = first; x < first + span; ++x) table_[x] = entry;
        }
        base += 1 << w;
        // The code length by the first three bits of the window (1xx is
        // class 0, 01x class 1, 001 class 2, 000 class 3), one per byte.
        for (uint32_t top = 0; top < 8; ++top) {
            const int leadingZeros = top >= 4 ? 0 : top >= 2 ? 1 : top == 1 ? 2 : 3;
            if (leadingZeros == k) codeLengths_ |= static_cast<uint64_t>(length) << (top * 8);
        }
    }
}

namespace {

// A chain of codes begun a split or more ahead of the stream's
// position, at a byte, as if a code began there; its symbols go to a
// buffer of its own until it meets the chain behind it.
template <class Word>
struct Ahead {
    typedef BitCursor<Word> Cursor;

    // Decodes the first kMarks - 1 codes, keeping where the first kMarks
    // began. Where no code of the stream can begin (an error entry) the
    // chain begins anew a bit further on, kMarks times at most; after that
    // it is stopped, with the marks of its last beginning. It loads no
    // further than limit (the next chain's split, which has kLoad bytes
    // behind it): there it is stopped too.
    void Begin(const uint8_t* at, const uint8_t* limit, uint8_t* room, const uint16_t* table,
               typename Cursor::Lengths lengths) {
        split = at;
        buffer = room;
        out = room;
        cursor.Start(at, 0);
        nMarks = 0;
        stopped = false;
        for (int restarts = kMarks;;) {
            if (cursor.Held() < kTableBits) {
                if (cursor.next > limit) {
                    stopped = true;
                    return;
                }
                cursor.Refill();
            }
            marks[nMarks++] = cursor.Offset(split);
            if (nMarks == kMarks) return;
            const uint32_t entry = cursor.Peek(table);
            if (entry < kErrorEntry) {
                *out++ = static_cast<uint8_t>(entry);
                cursor.Consume(lengths);
                continue;
            }
            // No code of the stream begins here, unless the stream fails
            // here, which the chain behind finds on its way.
            if (--restarts == 0) {
                stopped = true;
                return;
            }
            nMarks = 0;
            out = buffer;
            cursor.window <<= 1;
            cursor.held -= 1;
        }
    }

    Cursor cursor;
    const uint8_t* split;
    uint8_t* buffer;
    uint8_t* out;
    int32_t marks[kMarks];  // where its first codes began, in bits from the split
    int nMarks;
    bool stopped;
};

// The steps of the table path, inlined into DecodeTable: their cursors and
// output positions are its locals, which the byte stores cannot alias.

template <class Word>
using LengthsOf = typename BitCursor<Word>::Lengths;

// One code of chain a, which is in step with the stream: an error entry is
// the stream's own error.
template <class Word>
CT_STEP int32_t TakeCode(BitCursor<Word>& a, uint8_t*& o, const uint16_t* table,
                         LengthsOf<Word> lengths, CtCompressExcept* error) {
    if (a.Held() < kTableBits) a.Refill();
    const uint32_t entry = a.Peek(table);
    if (entry >= kErrorEntry) return CtFail(error, static_cast<int32_t>(entry & 0xFF));
    *o++ = static_cast<uint8_t>(entry);
    a.Consume(lengths);
    return 1;
}

// The distance between chains that the stream's table part allows from
// next: the last chain's limit stays kRoundEnd before the last load.
template <class Word>
CT_STEP ptrdiff_t StreamSpacing(const uint8_t* next, const uint8_t* lastLoad) {
    return (lastLoad - next - BitCursor<Word>::kRoundEnd) / kChains;
}

// The distance between the chains of the next round: kSplit, or less where
// the stream's table part or the room is short; below kMinSplit there is
// no round. The round's symbols fit the room, each code taking shortest
// bits or more.
template <class Word>
CT_STEP ptrdiff_t RoundSpacing(const uint8_t* next, const uint8_t* lastLoad, ptrdiff_t room,
                               int32_t shortest) {
    ptrdiff_t spacing = StreamSpacing<Word>(next, lastLoad);
    if (spacing > kSplit) spacing = kSplit;
    const int64_t fits =
        (static_cast<int64_t>(room) * shortest - BitCursor<Word>::kRoundSpare) / (8 * kChains);
    if (fits < spacing) spacing = static_cast<ptrdiff_t>(fits);
    return spacing;
}

// Steps of codes that a chain at offset (in bits from its limit, up to
// which it may decode) can take whole.
template <class Word>
CT_STEP ptrdiff_t StepsBefore(int32_t offset) {
    return offset < 0 ? -offset / BitCursor<Word>::kStepBits : 0;
}

// The three chains side by side, kStepCodes codes of each a step, in as
// many steps as keep every chain before its limit: the next chain's split,
// and for the last one a split further on (last). An error entry in any
// chain stops them all before it: chain a's is the stream's, and TakeCode
// reports it on the way to the join.
template <class Word>
CT_STEP void StepChains(BitCursor<Word>& a, uint8_t*& o, Ahead<Word>* ahead, const uint8_t* last,
                        const uint16_t* table, LengthsOf<Word> lengths) {
    static_assert(kChains == 3, "the steps below take three chains");
    const int kStepCodes = BitCursor<Word>::kStepCodes;
    BitCursor<Word> b = ahead[0].cursor;
    BitCursor<Word> c = ahead[1].cursor;
    uint8_t* bOut = ahead[0].out;
    uint8_t* cOut = ahead[1].out;
    bool stopped = ahead[0].stopped || ahead[1].stopped;
    while (!stopped) {
        ptrdiff_t steps = StepsBefore<Word>(a.Offset(ahead[0].split));
        const ptrdiff_t bSteps = StepsBefore<Word>(b.Offset(ahead[1].split));
        const ptrdiff_t cSteps = StepsBefore<Word>(c.Offset(last));
        if (bSteps < steps) steps = bSteps;
        if (cSteps < steps) steps = cSteps;
        if (steps == 0) break;
        do {
            a.Refill();
            b.Refill();
            c.Refill();
            int i = 0;
            for (; i < kStepCodes; ++i) {
                const uint32_t entryA = a.Peek(table);
                const uint32_t entryB = b.Peek(table);
                const uint32_t entryC = c.Peek(table);
                if ((entryA | entryB | entryC) >= kErrorEntry) break;
                o[i] = static_cast<uint8_t>(entryA);
                bOut[i] = static_cast<uint8_t>(entryB);
                cOut[i] = static_cast<uint8_t>(entryC);
                a.Consume(lengths);
                b.Consume(lengths);
                c.Consume(lengths);
            }
            o += i;
            bOut += i;
            cOut += i;
            stopped = i < kStepCodes;
        } while (!stopped && --steps > 0);
    }
    ahead[0].cursor = b;
    ahead[1].cursor = c;
    ahead[0].out = bOut;
    ahead[1].out = cOut;
}

// Chain a up to the split of the chain ahead, then on to the first place
// where one of that chain's first codes began, if it stands on one. Met,
// the chain's symbols from there on are the stream's, and a goes on from
// where that chain stopped; never met, its work is dropped.
template <class Word>
CT_STEP int32_t Join(BitCursor<Word>& a, uint8_t*& o, const Ahead<Word>& next,
                     const uint16_t* table, LengthsOf<Word> lengths, CtCompressExcept* error) {
    while (a.Offset(next.split) < 0) {
        if (TakeCode(a, o, table, lengths, error) < 0) return -1;
    }
    int meeting = 0;
    for (;;) {
        const int32_t at = a.Offset(next.split);
        while (meeting < next.nMarks && next.marks[meeting] < at) ++meeting;
        if (meeting == next.nMarks || next.marks[meeting] == at) break;
        if (TakeCode(a, o, table, lengths, error) < 0) return -1;
    }
    if (meeting < next.nMarks) {
        const ptrdiff_t taken = next.out - (next.buffer + meeting);
        std::memcpy(o, next.buffer + meeting, static_cast<size_t>(taken));
        o += taken;
        a = next.cursor;
    }
    return 1;
}

// Chain a alone, a step of codes per refill, while its loads stay before
// the last and the room holds a step.
template <class Word>
CT_STEP int32_t SingleChain(BitCursor<Word>& a, uint8_t*& o, const uint8_t* end,
                            const uint8_t* lastLoad, const uint16_t* table,
                            LengthsOf<Word> lengths, CtCompressExcept* error) {
    const int kStepCodes = BitCursor<Word>::kStepCodes;
    while (a.next <= lastLoad && end - o >= kStepCodes) {
        a.Refill();
        for (int i = 0; i < kStepCodes; ++i) {
            const uint32_t entry = a.Peek(table);
            if (entry >= kErrorEntry) return CtFail(error, static_cast<int32_t>(entry & 0xFF));
            o[i] = static_cast<uint8_t>(entry);
            a.Consume(lengths);
        }
        o += kStepCodes;
    }
    return 1;
}

}  // namespace

// Every code's place depends on the length of the one before it, so one
// chain of codes goes no faster than its shifts. Chains go side by side:
// chain a from the true position, and each chain ahead from a byte a split
// further on, as if a code began there. A prefix code falls into step after
// a few codes from any bit: once a reaches the next split, it goes on until
// it stands where one of the first codes of the chain ahead began; from
// that code on that chain's symbols are the stream's. If they never meet
// within its first kMarks codes, a goes on alone, which is slower but
// decodes the same. A round's splits shrink to what the room holds; with
// too little room, the call ends and the caller comes back with a new
// block.
template <class Word>
CT_STEP int32_t CtBitDecoder::DecodeTableWith(uint8_t* out, int32_t room, CtCompressExcept* error) {
    typedef BitCursor<Word> Cursor;
    if (byteIndex > streamLength - Cursor::kStartRoom || room < Cursor::kStepCodes) return 0;
    // Locals only in the loops: the byte stores could otherwise alias the
    // members.
    const uint8_t* const stream = this->stream;
    const uint8_t* const lastLoad = stream + (streamLength - Cursor::kTail);
    const uint16_t* const table = table_;
    const typename Cursor::Lengths lengths = CodeLengths<Word>::Pack(codeLengths_);
    uint8_t* o = out;
    uint8_t* const end = out + room;
    Cursor a;
    a.Start(stream + byteIndex, bitPosition);

    uint8_t rooms[kChains - 1][kAheadRoom];
    Ahead<Word> ahead[kChains - 1];
    for (;;) {
        const ptrdiff_t spacing = RoundSpacing<Word>(a.next, lastLoad, end - o, shortest_);
        if (spacing < kMinSplit) break;
        const uint8_t* const base = a.next;
        for (int j = 0; j < kChains - 1; ++j) {
            ahead[j].Begin(base + (j + 1) * spacing, base + (j + 2) * spacing, rooms[j], table,
                           lengths);
        }
        StepChains(a, o, ahead, base + kChains * spacing, table, lengths);
        for (const Ahead<Word>& next : ahead) {
            if (Join(a, o, next, table, lengths, error) < 0) return -1;
        }
    }

    // To the end of the stream's table part, or through a room too short
    // for a round.
    if (o == out || StreamSpacing<Word>(a.next, lastLoad) < kMinSplit) {
        if (SingleChain(a, o, end, lastLoad, table, lengths, error) < 0) return -1;
    }

    // The position of chain a's next code, in whole bytes and a bit.
    const int32_t back = static_cast<int32_t>(a.Held() + 7) >> 3;
    byteIndex = static_cast<int32_t>(a.next - stream) - back;
    bitPosition = static_cast<uint8_t>(back * 8 - static_cast<int32_t>(a.Held()));
    return static_cast<int32_t>(o - out);
}

CT_SHIFT_VERSIONS
int32_t CtBitDecoder::DecodeTable64(uint8_t* out, int32_t room, CtCompressExcept* error) {
    return DecodeTableWith<uint64_t>(out, room, error);
}

CT_SHIFT_VERSIONS
int32_t CtBitDecoder::DecodeTable32(uint8_t* out, int32_t room, CtCompressExcept* error) {
    return DecodeTableWith<uint32_t>(out, room, error);
}

int32_t CtBitDecoder::Decode(uint8_t* out, int32_t room, CtCompressExcept* error) {
    if (ended_) return 0;
    // A 32-bit host's window is 32 bits wide: its 64-bit shifts would take
    // pairs of registers.
    const bool narrow = narrow_ || sizeof(void*) < 8;
    int32_t n = !tableBuilt_ ? 0
                : narrow     ? DecodeTable32(out, room, error)
                             : DecodeTable64(out, room, error);
    if (n != 0) return n;
    // The last bytes of the stream, or a room too short for the table path.
    // Once the stream has ended the position means nothing any more (a
    // code cut off by the end has had its prefix consumed).
    uint8_t symbol;
    while (n < room) {
        const int32_t got = NextSymbol(&symbol, error);
        if (got < 0) return -1;
        if (got == 0) {
            ended_ = true;
            break;
        }
        out[n++] = symbol;
    }
    return n;
}

int32_t CtBitDecoder::DecodeUpTo(uint8_t* out, int32_t room, int32_t left,
                                 CtCompressExcept* error) {
    const int32_t n = Decode(out, room <= left ? room : left + 1, error);
    if (n > left) return CtFail(error, kCtErrorCapacity);
    return n;
}
