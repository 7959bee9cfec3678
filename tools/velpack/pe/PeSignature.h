// The Authenticode signature of a PE file as velpack reports it: whether
// there is one and who signed it (the subject of the signer's certificate),
// read from the certificate table without any cryptography. Whether the
// signature still matches the file is osslsigncode's to say.
#ifndef VEL_VELPACK_PESIGNATURE_H
#define VEL_VELPACK_PESIGNATURE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PeImage;

struct PeSignature {
    enum State {
        kUnsigned,    // no certificate table
        kSigned,      // a PKCS #7 signature whose signer was found
        kUnreadable,  // a certificate table that does not read as one
    };
    State state = kUnsigned;
    // The subject of the signer's certificate, most specific part first:
    // "CN=Velmar Informatique, O=Velmar, C=FR" (RFC 4514, with a blank after
    // each comma). Characters that need it are escaped, so the text is
    // always printable UTF-8.
    std::string signer;
    std::string problem;  // what is wrong with an unreadable one
    // Every certificate the signature carries (DER), the signer's among them.
    std::vector<std::vector<uint8_t>> certificates;
};

// The first entry of pe's certificate table.
PeSignature ReadPeSignature(const PeImage& pe);

// The signer of a PKCS #7 SignedData (a certificate table entry's
// contents). false, with signature->problem set, when it does not read.
bool ReadSignedData(const uint8_t* data, size_t size, PeSignature* signature);

#endif
