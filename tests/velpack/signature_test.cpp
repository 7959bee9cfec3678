// The signer of an Authenticode signature, read by velpack's own DER walk:
// a real signature made by osslsigncode (the seed of the pe_signature fuzz
// target: a subject with a multi-valued part, characters RFC 4514 escapes
// and UTF-8), every cut and every flipped byte of it, and certificate
// tables that do not fit their file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/velpack/PeBuilder.h"
#include "tools/velpack/pe/DerReader.h"
#include "tools/velpack/pe/PeSignature.h"

namespace {

using testpe::Bytes;

const char kSignedData[] = VEL_SIGNED_DATA;
const char kSigner[] =
    "emailAddress=essai@velmar.example, serialNumber=42+CN=Signataire d'essai \xC3\xA9, "
    "OU=Essais\\, \\\"A\\+B\\\", O=Velmar Essai, C=FR";

Bytes Seed() {
    std::ifstream in(kSignedData, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HasControl(const std::string& s) {
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// An image whose certificate table holds entry at its end.
Bytes SignedImage(const Bytes& entry, uint32_t extra = 0) {
    testpe::Image image;
    image.sections.push_back({".text", 0x1000, 0, Bytes(0x200, 0xC3), testpe::kReadOnlyData});
    const uint32_t end = static_cast<uint32_t>(image.Build().size());
    image.overlay = entry;
    image.directories[PeImage::kSecurityDirectory] = {end, static_cast<uint32_t>(entry.size()) + extra};
    return image.Build();
}

Bytes Entry(const Bytes& signedData, uint16_t type = 2) {
    Bytes e(8, 0);
    PutU32(&e, 0, static_cast<uint32_t>(8 + signedData.size()));
    PutU16(&e, 4, 0x0200);
    PutU16(&e, 6, type);
    e.insert(e.end(), signedData.begin(), signedData.end());
    return e;
}

PeSignature Read(const Bytes& file) {
    PeImage pe;
    std::string error;
    EXPECT_TRUE(pe.Parse(&file, &error)) << error;
    return ReadPeSignature(pe);
}

}  // namespace

TEST(PeSignature, NamesTheSignerOfARealSignature) {
    const Bytes seed = Seed();
    ASSERT_GT(seed.size(), 1000u);
    PeSignature s;
    ASSERT_TRUE(ReadSignedData(seed.data(), seed.size(), &s)) << s.problem;
    EXPECT_EQ(s.signer, kSigner);
    ASSERT_EQ(s.certificates.size(), 1u);
    EXPECT_EQ(s.certificates[0][0], 0x30);
}

TEST(PeSignature, EveryCutIsRefusedAndEveryFlippedByteStaysInBounds) {
    const Bytes seed = Seed();
    // The certificate table pads the signature to 8 bytes: cuts into the
    // padding leave it whole.
    DerElement whole;
    ASSERT_TRUE(DerReader(seed.data(), seed.size()).Next(&whole));
    for (size_t n = 0; n < whole.size; ++n) {
        PeSignature s;
        ASSERT_FALSE(ReadSignedData(seed.data(), n, &s)) << "cut at " << n;
        ASSERT_EQ(s.state, PeSignature::kUnreadable);
    }
    size_t stillRead = 0;
    for (size_t i = 0; i < seed.size(); ++i) {
        // A copy of its own size, so that AddressSanitizer sees any read past it.
        Bytes flipped = seed;
        flipped[i] ^= 0xFF;
        PeSignature s;
        if (ReadSignedData(flipped.data(), flipped.size(), &s)) {
            ++stillRead;
            ASSERT_FALSE(HasControl(s.signer)) << "byte " << i;
        }
    }
    // The signature value, digests and attributes do not take part.
    EXPECT_GT(stillRead, seed.size() / 2);
}

TEST(PeSignature, CertificateTablesAreReadOnlyInsideTheFile) {
    const Bytes entry = Entry(Seed());
    const PeSignature s = Read(SignedImage(entry));
    EXPECT_EQ(s.state, PeSignature::kSigned);
    EXPECT_EQ(s.signer, kSigner);

    EXPECT_EQ(Read(SignedImage(Bytes())).state, PeSignature::kUnsigned);
    EXPECT_EQ(Read(SignedImage(entry, 1)).problem, "the certificate table lies outside the file");
    Bytes longer = entry;
    PutU32(&longer, 0, static_cast<uint32_t>(entry.size() + 1));
    EXPECT_EQ(Read(SignedImage(longer)).problem, "the certificate table's first entry overruns it");
    EXPECT_EQ(Read(SignedImage(Entry(Seed(), 1))).problem,
              "the certificate table holds no PKCS #7 signature");
}
