// Arbitrary bytes through the streaming decoder and CtDecode. The first two
// bytes set the capacity (little-endian), the third the block size: 1 to
// 64, around the back-reference stage's history and the wide steps' room
// (250 to 313), some thousands, or large enough for two chains of codes in
// the bit-coded stage. The rest is the content. Both paths must answer the
// same, with the same bytes on success, the sink's pieces within a block
// and the capacity, and CtDecode must agree with the reference.
#include <cstdint>
#include <vector>

#include "tests/archive/CodecReference.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

int32_t BlockFor(uint8_t b) {
    if (b < 64) return 1 + b;
    if (b < 128) return 250 + (b - 64);
    if (b < 192) return 1000 + (b - 128) * 37;
    return 33000 + (b - 192) * 509;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int32_t capacity = data[0] | data[1] << 8;
    const int32_t block = BlockFor(data[2]);
    const std::vector<uint8_t> source(data + 3, data + size);
    Check(CompareStreaming(source, capacity, block).empty());
    const ReferenceResult want = ReferenceDecompress(source.data(), source.size(), capacity);
    Check(DecodeCaught(source, capacity).code == want.code);
    return 0;
}
