// Compression round trip. The first byte chooses the stages (its bits 4 to
// 6, as in the flags byte) or, with bit 7 set, the best choice at the level
// that bit 0 names (0: default, 1: max); the rest is the data. Whatever the
// compressor writes must decode to the data, and the best choice may exceed
// the data by its flags byte at most.
#include <cstdint>
#include <vector>

#include "archive/CtCompress.h"
#include "fuzz/FuzzCheck.h"
#include "tests/archive/CodecReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    const std::vector<uint8_t> input(data + 1, data + size);
    const CtLevel level = (choice & 0x01) ? CtLevel::kMax : CtLevel::kDefault;
    const uint8_t stages = choice & 0x70;
    const std::vector<uint8_t> content = (choice & 0x80)
                                             ? CtCompress(input.data(), input.size(), level)
                                             : CtCompress(input.data(), input.size(), stages);
    if (choice & 0x80) Check(!content.empty() && content.size() <= input.size() + 1);
    if (content.empty()) return 0;
    const Decoded d = DecodeCaught(content, static_cast<int32_t>(input.size()));
    Check(d.code == 0);
    Check(d.result == static_cast<int32_t>(input.size()));
    Check(d.buffer == input);
    return 0;
}
