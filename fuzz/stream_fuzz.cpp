// Arbitrary bytes through the streaming decoder and CtDecode. The first two
// bytes set the capacity (little-endian), the third the block size: 1 to
// 128, around the back-reference stage's history and the wide steps' room
// (250 to 313), some thousands, or now and then tens of thousands, for long
// rounds of the bit-coded stage's chains of codes. The rest is the content.
// Both paths must answer the same, with the same bytes on success and the
// sink's pieces within a block and the capacity, and the same code as the
// reference.
#include <cstdint>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "tests/archive/CodecReference.h"

namespace {

int32_t BlockFor(uint8_t b) {
    if (b < 128) return 1 + b;
    if (b < 192) return 250 + (b - 128);
    if (b < 240) return 1000 + (b - 192) * 37;
    return 33000 + (b - 240) * 2047;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int32_t capacity = CapacityOf(data);
    const int32_t block = BlockFor(data[2]);
    const std::vector<uint8_t> source(data + 3, data + size);
    int32_t code = 0;
    Check(CompareStreaming(source, capacity, block, &code).empty());
    Check(code == ReferenceDecompress(source.data(), source.size(), capacity).code);
    return 0;
}
