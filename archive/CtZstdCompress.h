// The Zstandard side of velpack's compressor: the contents of methods 4 and
// 5 (archive/CtZstdDecoder.h), through the reference library.
#ifndef VEL_ARCHIVE_CTZSTDCOMPRESS_H
#define VEL_ARCHIVE_CTZSTDCOMPRESS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/CtCompress.h"

// The library's compression levels for velpack's two: kDefault is level 19,
// the library's last before its "ultra" levels, whose window is already the
// largest the launcher takes; kMax is level 22, its strongest search, with
// its window brought back to that size.
const int kCtZstdDefaultLevel = 19;
const int kCtZstdMaxLevel = 22;

// Compresses data into one Zstandard frame that declares its size and
// carries the checksum of its content, with a window of at most
// 2^kCtZstdWindowLog bytes, in one thread: the same data and level give
// the same bytes. Fails (false, with *error set) only when the library
// does, which is for want of memory.
bool CtZstdCompress(const uint8_t* data, size_t size, CtLevel level, std::vector<uint8_t>* frame,
                    std::string* error);

#endif
