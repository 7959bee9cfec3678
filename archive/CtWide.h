// The decoder's word and vector moves, in the two variants its hot loops are
// built in: Vectors (SSE2) and Words (64-bit words, either byte order). The
// loops are templates over the variant, so that they read without
// conditional compilation, and each is built for both; a decoder takes the
// processor's fastest (Fastest), chosen once when it is made.
//
// On x86-64 every processor has SSE2. The i686 stub runs on any processor
// its Windows runs on, and the compiler targets none with SSE2 there: the
// entry points of the vector loops carry CT_VECTOR_CODE, which builds them
// for SSE2, and CT_FLAT, which builds everything they call into them, and
// they run only where the system reports SSE2. Hosts without SSE2 take
// Words for both.
#ifndef VEL_ARCHIVE_CTWIDE_H
#define VEL_ARCHIVE_CTWIDE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__i386__) || defined(__x86_64__)
#define CT_HAS_VECTORS 1
#include <emmintrin.h>
#define CT_VECTOR_CODE __attribute__((target("sse2")))
#else
#define CT_HAS_VECTORS 0
#define CT_VECTOR_CODE
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

// The entry point of a hot loop built for the vector variant: where the
// compiler does not target SSE2 everywhere (i686), every function it calls,
// the variant's moves included, is built into it, for SSE2. (A step that
// always inlines cannot take the moves, which are built for SSE2, into a
// template built for any processor.) On x86-64 the moves inline as any
// code does, and the optimiser's own choices are kept: flattened, it
// checks the distance of every long copy once more.
#if defined(__SSE2__)
#define CT_FLAT
#else
#define CT_FLAT __attribute__((flatten))
#endif

namespace CtWide {

// The variant a decoder runs.
enum Path : uint8_t {
    kWords = 0,
    kVectors = 1,
};

// The fastest variant this processor runs: Vectors on x86-64, on i686 where
// the system reports SSE2 (IsProcessorFeaturePresent on Windows, CPUID
// elsewhere), else Words.
Path Fastest();

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

// The 4 bytes at p, the first one highest (for a 32-bit window).
inline uint32_t LoadHigh32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return kBigEndian ? v : __builtin_bswap32(v);
}

// A bitmap word of EscapeBitmap: the host's register, so that a 32-bit
// host walks its bits without pairs of registers.
typedef std::conditional<sizeof(void*) >= 8, uint64_t, uint32_t>::type Mask;
const int kMaskBits = 8 * sizeof(Mask);

inline int LowestBit(uint32_t bits) {
    return __builtin_ctz(bits);
}
inline int LowestBit(uint64_t bits) {
    return __builtin_ctzll(bits);
}

// The variant of plain 64-bit words.
struct Words {
    // The byte c in every byte of a word.
    static uint64_t Spread(uint8_t c) { return 0x0101010101010101ull * c; }

    // The escape as the steps take it: in every byte of a word.
    typedef uint64_t Escapes;
    static Escapes EscapesOf(uint8_t escape) { return Spread(escape); }

    static void Copy16(uint8_t* to, const uint8_t* from) {
        Store64(to, Load64(from));
        Store64(to + 8, Load64(from + 8));
    }

    static void Fill16(uint8_t* to, uint8_t c) {
        Store64(to, Spread(c));
        Store64(to + 8, Spread(c));
    }

    // The top bit of each of the 8 bytes of word (LowFirst) that may be an
    // escape; 0 when none is. The borrow of the zero-byte test can only
    // mark bytes above a true match, so the lowest mark is exact.
    static uint64_t EscapeMarks(uint64_t word, Escapes escapes) {
        const uint64_t kLow = 0x0101010101010101ull;
        const uint64_t kHigh = 0x8080808080808080ull;
        const uint64_t x = word ^ escapes;
        return (x - kLow) & ~x & kHigh;
    }

    // Offset of the first escape that nonzero marks show.
    static int FirstMark(uint64_t marks) { return __builtin_ctzll(marks) >> 3; }

    // One wide step of either byte stage: copies the next 16 input bytes to
    // the output before knowing where the next escape stands, then advances
    // both to that escape (true) or past all 16 bytes when there is none
    // (false).
    static bool CopyToEscape(const uint8_t** in, uint8_t** out, Escapes escapes) {
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
    static bool CopyToEscape32(const uint8_t** in, uint8_t** out, Escapes escapes) {
        return CopyToEscape(in, out, escapes) || CopyToEscape(in, out, escapes);
    }

    // The checkword's sum over blocks of 16 bytes at p: each byte weighted
    // by its place in its block, 1 to 16, the sum wrapping at 32 bits.
    static uint32_t WeightedSum(const uint8_t* p, int32_t blocks) {
        uint32_t sum = 0;
        for (int32_t b = 0; b < blocks; ++b, p += 16) {
            uint32_t block = 0;
            for (uint32_t k = 0; k < 16; ++k) block += (k + 1) * p[k];
            sum += block;
        }
        return sum;
    }

    // Whether the back-reference stage takes its input in batches whose
    // escapes are found at once (EscapeBitmap): with vectors, 16 compares
    // take one instruction. Words keep to single steps.
    static const bool kBatches = false;

    // EscapeBitmap a byte at a time. The batches are not taken here
    // (kBatches); it is defined so that the stage reads the same in both
    // variants, and the optimiser drops it with them.
    static void EscapeBitmap(const uint8_t* p, Escapes escapes, Mask* words, int n) {
        const uint8_t escape = static_cast<uint8_t>(escapes);
        for (int k = 0; k < n; ++k, p += kMaskBits) {
            Mask bits = 0;
            for (int i = 0; i < kMaskBits; ++i) bits |= static_cast<Mask>(p[i] == escape) << i;
            words[k] = bits;
        }
    }
};

#if CT_HAS_VECTORS

// The variant of SSE2 vectors; the same moves as Words. Its steps take the
// escape as a byte and spread it themselves (the optimiser keeps the spread
// out of the loops): no vector crosses a call between code built for SSE2
// and code built for any processor, which would pass it differently.
struct Vectors {
    typedef uint8_t Escapes;
    static Escapes EscapesOf(uint8_t escape) { return escape; }

    static CT_VECTOR_CODE __m128i Load(const uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }

    static CT_VECTOR_CODE void Store(uint8_t* p, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    }

    static CT_VECTOR_CODE __m128i Spread(uint8_t c) { return _mm_set1_epi8(static_cast<char>(c)); }

    static CT_VECTOR_CODE void Copy16(uint8_t* to, const uint8_t* from) { Store(to, Load(from)); }

    static CT_VECTOR_CODE void Fill16(uint8_t* to, uint8_t c) { Store(to, Spread(c)); }

    // Bit i set where byte i of the vector is the escape.
    static CT_VECTOR_CODE uint32_t EscapeBits(__m128i bytes, uint8_t escape) {
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, Spread(escape))));
    }

    static CT_VECTOR_CODE bool CopyToEscape(const uint8_t** in, uint8_t** out, uint8_t escape) {
        const __m128i bytes = Load(*in);
        Store(*out, bytes);
        const uint32_t found = EscapeBits(bytes, escape);
        const int n = found != 0 ? __builtin_ctz(found) : 16;
        *in += n;
        *out += n;
        return n < 16;
    }

    // The step over 32 bytes, whose escapes are found at once: one compare
    // of both halves and one branch a step.
    static CT_VECTOR_CODE bool CopyToEscape32(const uint8_t** in, uint8_t** out,
                                              uint8_t escape) {
        const __m128i low = Load(*in);
        const __m128i high = Load(*in + 16);
        Store(*out, low);
        Store(*out + 16, high);
        const uint32_t found = EscapeBits(low, escape) | EscapeBits(high, escape) << 16;
        const int n = found != 0 ? __builtin_ctz(found) : 32;
        *in += n;
        *out += n;
        return n < 32;
    }

    // Each half's weights multiplied in 16 bits and summed in pairs into
    // four 32-bit lanes, which wrap as the sum does.
    static CT_VECTOR_CODE uint32_t WeightedSum(const uint8_t* p, int32_t blocks) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = _mm_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8);
        const __m128i high = _mm_setr_epi16(9, 10, 11, 12, 13, 14, 15, 16);
        __m128i lanes = zero;
        for (int32_t b = 0; b < blocks; ++b, p += 16) {
            const __m128i v = Load(p);
            lanes = _mm_add_epi32(lanes, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), low));
            lanes = _mm_add_epi32(lanes, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), high));
        }
        lanes = _mm_add_epi32(lanes, _mm_shuffle_epi32(lanes, 0x4E));
        lanes = _mm_add_epi32(lanes, _mm_shuffle_epi32(lanes, 0xB1));
        return static_cast<uint32_t>(_mm_cvtsi128_si32(lanes));
    }

    static const bool kBatches = true;

    // Bit i of words[i / kMaskBits] set where p[i], of the kMaskBits * n
    // bytes at p, is the escape.
    static CT_VECTOR_CODE void EscapeBitmap(const uint8_t* p, uint8_t escape, Mask* words,
                                            int n) {
        for (int k = 0; k < n; ++k, p += kMaskBits) {
            Mask bits = 0;
            for (int i = 0; i < kMaskBits; i += 16) {
                bits |= static_cast<Mask>(EscapeBits(Load(p + i), escape)) << i;
            }
            words[k] = bits;
        }
    }
};

#else

// Without SSE2 the vector path is the word path.
typedef Words Vectors;

#endif

}  // namespace CtWide

#endif
