// Builds payload images: the first entry offset 4, then one record per item
// in the given order.
#ifndef VEL_VELPACK_PAYLOADWRITER_H
#define VEL_VELPACK_PAYLOADWRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "archive/CtCompress.h"

struct PayloadItem {
    std::string name;  // Windows-1252, as the launcher will write it
    std::string info;  // Windows-1252 information text
    std::vector<uint8_t> content;
};

// The codec of the compressed contents: the launcher's own stages (methods
// 2 and 3), or Zstandard (4 and 5).
enum class PayloadCodec { kVelmar, kZstd };

struct PayloadOptions {
    bool stored = false;      // never compress
    bool plainNames = false;  // even methods: names and texts not complemented
    CtLevel level = CtLevel::kDefault;  // how hard the compressor looks
    PayloadCodec codec = PayloadCodec::kVelmar;
};

// The image of items. Each content is compressed by the codec when that
// makes it smaller and stored (methods 0 and 1) otherwise, in parallel on
// the host's processors; the result depends on the items and options only.
// Fails, with error set, when the image would not fit in 2 GiB - 1 bytes,
// the most the format's 32-bit lengths address, or the compressor fails
// (the Zstandard one for want of memory).
bool BuildPayload(const std::vector<PayloadItem>& items, const PayloadOptions& options,
                  std::vector<uint8_t>* image, std::string* error);

// The information text's time lines, "\r\nDWCL=<low>\r\nDWCH=<high>", in
// unsigned decimal: the launcher gives the file this last-write time.
std::string InfoTimeLines(uint64_t fileTime);

// Appends one record to image; content is stored as given (already
// compressed or complemented to fit method).
void AppendRecord(std::vector<uint8_t>* image, int32_t method, const std::string& name,
                  const std::string& info, const uint8_t* content, size_t contentSize,
                  int32_t unpacked);

#endif
