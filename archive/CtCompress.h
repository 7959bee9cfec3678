// The compressor that velpack packs with: the inverse of CtDecompress.
#ifndef VEL_ARCHIVE_CTCOMPRESS_H
#define VEL_ARCHIVE_CTCOMPRESS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/CtDecompress.h"

// How hard the compressor works.
//
// kDefault tries every combination of stages, then prices the parse of the
// back-reference stage in the bits that the bit-coded stage behind it will
// spend (the code lengths of the current statistics) and parses once more
// with those prices, for the more promising route through both stages. It
// takes the bit-coded stage, the slowest to decode, only where it saves
// more than 1/16 of what it codes. kMax reprices until the size settles, on
// both routes, searches the whole window at every position and takes the
// smallest route: a few percent smaller, several times slower.
enum class CtLevel { kDefault, kMax };

// The compressed content (flags byte first) that the compressor chooses
// for data at that level; flags 0x00 with the bytes as they are when no
// stage helps. Without a level, kDefault.
std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size, CtLevel level);
std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size);

// A compressed content that applies exactly the stages named in the mask
// (kCtStageRuns | kCtStageRefs | kCtStageBits; 0 gives the plain frame).
//
// The decoder bounds every stage by the unpacked size: the bit-coded stage
// may yield at most size bytes and the back-reference stage at most
// size + 256. Stages whose intermediate results break these bounds cannot
// carry data; the answer is then empty (a content is never empty).
std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size, uint8_t stages);

// The stage encoders, each the inverse of its decoder stage.

// A byte stage's output: the escape byte it chose and its stage data.
struct CtPacked {
    uint8_t escape;
    std::vector<uint8_t> data;
};

// The byte that occurs least often in data (the smallest among equals): the
// escape of both byte stages, since each literal escape costs a byte more.
uint8_t CtRarestByte(const uint8_t* data, size_t size);

// Run stage, escape the rarest byte: a byte followed by 9 to 255
// repetitions becomes the byte, escape, count (a longer run takes more
// counts, shorter ones stay literals); a literal escape is doubled, and a
// run of it takes counts from 1 on.
CtPacked CtPackRuns(const uint8_t* data, size_t size);

// Back-reference stage, escape the rarest byte: escape, distance (1..255,
// never the escape), count (1..255) for repeated strings, overlapping copies
// included: the longest match within the 255-byte window at each position,
// and the cheapest mix of literals and such references by dynamic
// programming; a literal escape is doubled.
CtPacked CtPackRefs(const uint8_t* data, size_t size);

// Back-reference stage with the given escape, priced in bits: prices[b] is
// what a byte b of its output costs (the code length that the bit-coded
// stage gives it; see CtPriceBits). The matches at each position include,
// besides the longest, shorter ones at distances that cost less; every
// count the parse may take is priced. kMax searches the whole window.
CtPacked CtPackRefs(const uint8_t* data, size_t size, uint8_t escape, const uint8_t prices[256],
                    CtLevel level);

// How the bit-coded stage codes one input: the list (most frequent byte
// first), the widths w0, w1, w2 (0..8; the decoder takes no wider class) and
// the size in bytes of the whole stage, header included.
struct CtBitPlan {
    uint8_t list[256];
    int32_t count;  // 1..256 bytes in the list
    uint8_t widths[3];
    size_t size;
};

// The plan with the widths that give the smallest stage.
CtBitPlan CtPlanBits(const uint8_t* data, size_t size);

// The plan for the given widths (each 0..8).
CtBitPlan CtPlanBits(const uint8_t* data, size_t size, const uint8_t widths[3]);

// The code length of every byte value under plan, in bits; a value not in
// the list gets the length of the place it would take at its end.
void CtPriceBits(const CtBitPlan& plan, uint8_t prices[256]);

// The stage data (header and stream) of plan, exactly plan.size bytes.
std::vector<uint8_t> CtPackBits(const uint8_t* data, size_t size, const CtBitPlan& plan);

#endif
