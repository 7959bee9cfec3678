// The compressor that velpack packs with: the inverse of CtDecompress.
#ifndef VEL_ARCHIVE_CTCOMPRESS_H
#define VEL_ARCHIVE_CTCOMPRESS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/CtDecompress.h"

// The smallest compressed content (flags byte first) the compressor finds
// for data; flags 0x00 with the bytes as they are when no stage helps.
std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size);

// A compressed content that applies exactly the stages named in the mask
// (kCtStageRuns | kCtStageRefs | kCtStageBits; 0 gives the plain frame).
std::vector<uint8_t> CtCompress(const uint8_t* data, size_t size, uint8_t stages);

#endif
