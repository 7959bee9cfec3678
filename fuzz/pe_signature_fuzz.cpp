// Arbitrary bytes as the PKCS #7 SignedData of a certificate table: the DER
// walk to the signer's certificate stays inside them, and a signer it names
// is printable UTF-8, as velpack list prints it and its JSON must carry it.
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "tools/velpack/pe/PeSignature.h"

namespace {

// Well-formed UTF-8 without control characters.
bool Printable(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x20 || b == 0x7F) return false;
        size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
        if (n == 0 || b > 0xF4 || n > s.size() - i) return false;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PeSignature s;
    const bool read = ReadSignedData(data, size, &s);
    Check(read == (s.state == PeSignature::kSigned));
    Check(read ? s.problem.empty() && Printable(s.signer) : !s.problem.empty());
    size_t carried = 0;
    for (const auto& c : s.certificates) carried += c.size();
    Check(carried <= size);
    return 0;
}
