// The decoder's word and vector moves, in the variants the hosts need: SSE2
// where the compiler targets it, 64-bit words elsewhere (the i686 stub),
// either byte order. The stages are written once over these and read
// without conditional compilation.
#ifndef VEL_ARCHIVE_CTWIDE_H
#define VEL_ARCHIVE_CTWIDE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// On x86-64 hosts whose loader picks among versions of a function (ELF), a
// function marked so is built once more for processors with BMI2, whose
// shifts take any count register and leave the flags alone. The Windows
// builds have the one version. (Clang wants the versions defined before
// their first call.)
#if defined(__x86_64__) && defined(__ELF__)
#define CT_SHIFT_VERSIONS __attribute__((target_clones("bmi2", "default")))
#else
#define CT_SHIFT_VERSIONS
#endif

// A step of a hot loop written as a function of its own, inlined so that
// its locals stay in registers and, in a CT_SHIFT_VERSIONS function, it is
// built for the caller's processor.
#define CT_STEP inline __attribute__((always_inline))

namespace CtWide {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
const bool kBigEndian = true;
#else
const bool kBigEndian = false;
#endif

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, sizeof v);
}

// A word as Load64 gives it, with the first byte in memory lowest, on any
// host (and back: the swap is its own inverse).
inline uint64_t LowFirst(uint64_t v) {
    return kBigEndian ? __builtin_bswap64(v) : v;
}

inline uint64_t LoadLow64(const uint8_t* p) {
    return LowFirst(Load64(p));
}

inline void StoreLow64(uint8_t* p, uint64_t v) {
    Store64(p, LowFirst(v));
}

// The 8 bytes at p with the first one in memory highest: the bit-coded
// stream's order.
inline uint64_t LoadHigh64(const uint8_t* p) {
    return __builtin_bswap64(LoadLow64(p));
}

#if defined(__SSE2__)

// The escape in every byte of a vector.
typedef __m128i Escapes;

inline Escapes EscapesOf(uint8_t escape) {
    return _mm_set1_epi8(static_cast<char>(escape));
}

inline void Copy16(uint8_t* to, const uint8_t* from) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}

// Bit i set where byte i of the vector is the escape.
inline uint32_t EscapeBits(__m128i bytes, Escapes escapes) {
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, escapes)));
}

inline uint32_t EscapeBits16(const uint8_t* p, Escapes escapes) {
    return EscapeBits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), escapes);
}

// One wide step of either byte stage: copies the next 16 input bytes to the
// output before knowing where the next escape stands, then advances both to
// that escape (true) or past all 16 bytes when there is none (false).
inline bool CopyToEscape(const uint8_t** in, uint8_t** out, Escapes escapes) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(*in));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(*out), bytes);
    const uint32_t found = EscapeBits(bytes, escapes);
    const int n = found != 0 ? __builtin_ctz(found) : 16;
    *in += n;
    *out += n;
    return n < 16;
}

// The same over 32 bytes, whose escapes are found at once: one compare of
// both halves and one branch a step.
inline bool CopyToEscape32(const uint8_t** in, uint8_t** out, Escapes escapes) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(*in));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(*in + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(*out), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(*out + 16), high);
    const uint32_t found = EscapeBits(low, escapes) | EscapeBits(high, escapes) << 16;
    const int n = found != 0 ? __builtin_ctz(found) : 32;
    *in += n;
    *out += n;
    return n < 32;
}

// Whether the back-reference stage takes its input in batches whose escapes
// are found at once (EscapeBitmap): with vectors, 16 compares take one
// instruction. Without them the stage keeps to its single steps.
const bool kBatches = true;

// Bit i of words[i / 64] set where p[i], of the 64 * n bytes at p, is the
// escape.
inline void EscapeBitmap(const uint8_t* p, Escapes escapes, uint64_t* words, int n) {
    for (int k = 0; k < n; ++k, p += 64) {
        words[k] = static_cast<uint64_t>(EscapeBits16(p, escapes)) |
                   static_cast<uint64_t>(EscapeBits16(p + 16, escapes)) << 16 |
                   static_cast<uint64_t>(EscapeBits16(p + 32, escapes)) << 32 |
                   static_cast<uint64_t>(EscapeBits16(p + 48, escapes)) << 48;
    }
}

#else

// The escape in every byte of a word.
typedef uint64_t Escapes;

inline Escapes EscapesOf(uint8_t escape) {
    return 0x0101010101010101ull * escape;
}

inline void Copy16(uint8_t* to, const uint8_t* from) {
    Store64(to, Load64(from));
    Store64(to + 8, Load64(from + 8));
}

// The top bit of each of the 8 bytes of word (LowFirst) that may be an
// escape; 0 when none is. The borrow of the zero-byte test
// can only mark bytes above a true match, so the lowest mark is exact.
inline uint64_t EscapeMarks(uint64_t word, Escapes escapes) {
    const uint64_t kLow = 0x0101010101010101ull;
    const uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t x = word ^ escapes;
    return (x - kLow) & ~x & kHigh;
}

// Offset of the first escape that nonzero marks show.
inline int FirstMark(uint64_t marks) {
    return __builtin_ctzll(marks) >> 3;
}

// One wide step of either byte stage (see above), a word at a time.
inline bool CopyToEscape(const uint8_t** in, uint8_t** out, Escapes escapes) {
    const uint64_t low = Load64(*in);
    const uint64_t high = Load64(*in + 8);
    Store64(*out, low);
    Store64(*out + 8, high);
    const uint64_t lowMarks = EscapeMarks(LowFirst(low), escapes);
    const uint64_t highMarks = EscapeMarks(LowFirst(high), escapes);
    const int n = lowMarks != 0    ? FirstMark(lowMarks)
                  : highMarks != 0 ? 8 + FirstMark(highMarks)
                                   : 16;
    *in += n;
    *out += n;
    return n < 16;
}

// The step over 32 bytes, as two of 16.
inline bool CopyToEscape32(const uint8_t** in, uint8_t** out, Escapes escapes) {
    return CopyToEscape(in, out, escapes) || CopyToEscape(in, out, escapes);
}

const bool kBatches = false;

// EscapeBitmap a byte at a time. The batches are not taken here (kBatches);
// it is defined so that the stage reads the same on every host, and the
// optimiser drops it with them.
inline void EscapeBitmap(const uint8_t* p, Escapes escapes, uint64_t* words, int n) {
    const uint8_t escape = static_cast<uint8_t>(escapes);
    for (int k = 0; k < n; ++k, p += 64) {
        uint64_t bits = 0;
        for (int i = 0; i < 64; ++i) bits |= static_cast<uint64_t>(p[i] == escape) << i;
        words[k] = bits;
    }
}

#endif

}  // namespace CtWide

#endif
