// Arbitrary bytes into the bit-coded stage alone. The first two bytes set
// the capacity (little-endian); the rest is the stage data, decoded into a
// buffer of exactly that many bytes and held against the bit-by-bit
// reference: the same symbols, or the same error code.
#include <cstdint>
#include <algorithm>
#include <vector>

#include "archive/CtDecompress.h"
#include "archive/CtStageDecode.h"
#include "fuzz/FuzzCheck.h"
#include "tests/archive/CodecReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t capacity = CapacityOf(data);
    // Copied, so that a read past the stage data is past an allocation.
    const std::vector<uint8_t> stage(data + 2, data + size);
    std::vector<uint8_t> out(static_cast<size_t>(capacity));
    CtCompressExcept error{0};
    const int32_t count =
        CtBitDecode(stage.data(), static_cast<int32_t>(stage.size()), out.data(), capacity, &error);
    const ReferenceResult want = ReferenceBitDecode(stage.data(), stage.size(), capacity);
    // A failure answers -1 and fills the record; a success leaves it alone.
    Check((count < 0) == (error.code != 0));
    Check(error.code == want.code);
    if (count < 0) return 0;
    Check(count == static_cast<int32_t>(want.bytes.size()));
    Check(std::equal(want.bytes.begin(), want.bytes.end(), out.begin()));
    return 0;
}
