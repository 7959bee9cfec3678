// Arbitrary bytes into CtDecode. The first two bytes set the capacity
// (little-endian, 0 to 65535); the rest is the compressed content. The
// destination has exactly the capacity, so that ASan sees any write beyond
// it; the result must be the reference decoder's, with zeros behind the
// content or, after a failure, everywhere (the buffer held 0xA5 before).
#include <cstdint>
#include <algorithm>
#include <vector>

#include "archive/CtDecompress.h"
#include "fuzz/FuzzCheck.h"
#include "tests/archive/CodecReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t capacity = CapacityOf(data);
    const std::vector<uint8_t> source(data + 2, data + size);
    const Decoded got = DecodeCaught(source, capacity);
    const ReferenceResult want = ReferenceDecompress(source.data(), source.size(), capacity);
    Check(got.code == want.code);
    if (want.code != 0) {
        Check(got.result == -1);
    } else {
        Check(got.result == static_cast<int32_t>(want.bytes.size()));
        Check(std::equal(want.bytes.begin(), want.bytes.end(), got.buffer.begin()));
    }
    const size_t kept = got.result > 0 ? static_cast<size_t>(got.result) : 0;
    for (size_t i = kept; i < got.buffer.size(); ++i) Check(got.buffer[i] == 0);
    return 0;
}
