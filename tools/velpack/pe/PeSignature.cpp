#include "tools/velpack/pe/PeSignature.h"

#include <cstring>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/pe/DerReader.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeLayout.h"
#include "tools/velpack/pe/Utf8.h"

namespace {

// 1.2.840.113549.1.7.2, PKCS #7 signedData.
const uint8_t kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const uint16_t kPkcsSignedData = 0x0002;  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
const uint32_t kReplacement = 0xFFFD;

// A signature that does not read is a finding about the file: its report
// says so, with the reason.
bool Unreadable(PeSignature* s, const std::string& problem) {
    s->state = PeSignature::kUnreadable;
    s->problem = problem;
    return false;
}

bool SameElement(const DerElement& a, const DerElement& b) {
    return a.size == b.size && std::memcmp(a.start, b.start, a.size) == 0;
}

// The dotted form of an object identifier ("2.5.4.3"); false for one that
// is empty, not minimal or has an arc beyond 35 bits.
bool DottedOid(const DerElement& e, std::string* text) {
    uint64_t arc = 0;
    size_t arcBytes = 0;
    text->clear();
    for (size_t i = 0; i < e.length; ++i) {
        const uint8_t b = e.body[i];
        if (arcBytes == 0 && b == 0x80) return false;
        if (++arcBytes > 5) return false;
        arc = arc << 7 | (b & 0x7F);
        if (b & 0x80) continue;
        if (text->empty()) {
            // The first two arcs share one number: 40 * first + second.
            const uint64_t first = arc < 80 ? arc / 40 : 2;
            *text = std::to_string(first) + "." + std::to_string(arc - 40 * first);
        } else {
            *text += "." + std::to_string(arc);
        }
        arc = 0;
        arcBytes = 0;
    }
    return arcBytes == 0 && !text->empty();
}

// The names RFC 4514 gives attribute types; others go by their dotted OID.
std::string TypeName(const std::string& oid) {
    static const char* const kNames[][2] = {
        {"2.5.4.3", "CN"},      {"2.5.4.5", "serialNumber"},
        {"2.5.4.6", "C"},       {"2.5.4.7", "L"},
        {"2.5.4.8", "ST"},      {"2.5.4.9", "STREET"},
        {"2.5.4.10", "O"},      {"2.5.4.11", "OU"},
        {"0.9.2342.19200300.100.1.1", "UID"}, {"0.9.2342.19200300.100.1.25", "DC"},
        {"1.2.840.113549.1.9.1", "emailAddress"},
    };
    for (const auto& n : kNames) {
        if (oid == n[0]) return n[1];
    }
    return oid;
}

bool Scalar(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// The characters of UTF-8 bytes; each byte of a broken sequence is one
// replacement character.
std::vector<uint32_t> FromUtf8(const uint8_t* p, size_t n) {
    std::vector<uint32_t> chars;
    for (size_t i = 0; i < n;) {
        uint32_t c;
        size_t length;
        if (NextUtf8(p + i, n - i, &c, &length)) {
            chars.push_back(c);
            i += length;
        } else {
            chars.push_back(kReplacement);
            ++i;
        }
    }
    return chars;
}

// The characters of a string value, by its ASN.1 type; false for a type
// that is not a string.
bool StringChars(const DerElement& v, std::vector<uint32_t>* chars) {
    switch (v.tag) {
        case 0x0C:  // UTF8String
            *chars = FromUtf8(v.body, v.length);
            return true;
        case 0x13:  // PrintableString
        case 0x16:  // IA5String
        case 0x1A:  // VisibleString
        case 0x14:  // TeletexString, read as Latin-1 as most readers do
            for (size_t i = 0; i < v.length; ++i) {
                const uint8_t b = v.body[i];
                chars->push_back(b < 0x80 || v.tag == 0x14 ? b : kReplacement);
            }
            return true;
        case 0x1E:  // BMPString: UTF-16, big-endian
            for (size_t i = 0; i + 1 < v.length; i += 2) {
                uint32_t c = static_cast<uint32_t>(v.body[i] << 8 | v.body[i + 1]);
                if (c >= 0xD800 && c < 0xDC00 && i + 3 < v.length) {
                    const uint32_t low = static_cast<uint32_t>(v.body[i + 2] << 8 | v.body[i + 3]);
                    if (low >= 0xDC00 && low < 0xE000) {
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        i += 2;
                    }
                }
                chars->push_back(Scalar(c) ? c : kReplacement);
            }
            if (v.length % 2 != 0) chars->push_back(kReplacement);
            return true;
        case 0x1C:  // UniversalString: UCS-4, big-endian
            for (size_t i = 0; i + 3 < v.length; i += 4) {
                const uint32_t c = static_cast<uint32_t>(v.body[i]) << 24 |
                                   static_cast<uint32_t>(v.body[i + 1]) << 16 |
                                   static_cast<uint32_t>(v.body[i + 2]) << 8 | v.body[i + 3];
                chars->push_back(Scalar(c) ? c : kReplacement);
            }
            if (v.length % 4 != 0) chars->push_back(kReplacement);
            return true;
        default:
            return false;
    }
}

// A value as RFC 4514 writes it: the special characters escaped with a
// backslash, control characters as \XX; a value that is not a string as #
// and the hexadecimal of its encoding.
std::string ValueText(const DerElement& v) {
    static const char kHex[] = "0123456789ABCDEF";
    std::vector<uint32_t> chars;
    std::string text;
    if (!StringChars(v, &chars)) {
        text = "#";
        for (size_t i = 0; i < v.size; ++i) {
            text += kHex[v.start[i] >> 4];
            text += kHex[v.start[i] & 15];
        }
        return text;
    }
    for (size_t i = 0; i < chars.size(); ++i) {
        const uint32_t c = chars[i];
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            std::string bytes;
            AppendUtf8(c, &bytes);
            for (unsigned char b : bytes) {
                text += '\\';
                text += kHex[b >> 4];
                text += kHex[b & 15];
            }
            continue;
        }
        const bool edge = (i == 0 && (c == '#' || c == ' ')) || (i + 1 == chars.size() && c == ' ');
        if (edge || (c < 0x80 && std::strchr("\"+,;<>\\", static_cast<int>(c)) != nullptr)) {
            text += '\\';
        }
        AppendUtf8(c, &text);
    }
    return text;
}

// An X.501 Name, last part first: "CN=…, O=…, C=…".
bool NameText(const DerElement& name, std::string* text) {
    DerReader parts(name);
    std::vector<std::string> texts;
    while (!parts.AtEnd()) {
        DerElement set;
        if (!parts.Expect(DerReader::kSet, &set)) return false;
        DerReader values(set);
        std::string part;
        while (!values.AtEnd()) {
            DerElement pair, type, value;
            if (!values.Expect(DerReader::kSequence, &pair)) return false;
            DerReader fields(pair);
            std::string oid;
            if (!fields.Expect(DerReader::kObjectId, &type) || !fields.Next(&value) ||
                !DottedOid(type, &oid)) {
                return false;
            }
            if (!part.empty()) part += '+';
            part += TypeName(oid) + "=" + ValueText(value);
        }
        texts.push_back(part);
    }
    text->clear();
    for (size_t i = texts.size(); i-- > 0;) {
        *text += texts[i];
        if (i != 0) *text += ", ";
    }
    return true;
}

struct CertificateFields {
    DerElement serial, issuer, subject;
};

bool ReadCertificate(const DerElement& certificate, CertificateFields* f) {
    DerReader outer(certificate);
    DerElement tbs, skipped;
    if (!outer.Expect(DerReader::kSequence, &tbs)) return false;
    DerReader fields(tbs);
    uint8_t tag = 0;
    if (fields.PeekTag(&tag) && tag == DerReader::kContext0 && !fields.Next(&skipped)) return false;
    return fields.Expect(DerReader::kInteger, &f->serial) &&
           fields.Expect(DerReader::kSequence, &skipped) &&  // signature algorithm
           fields.Expect(DerReader::kSequence, &f->issuer) &&
           fields.Expect(DerReader::kSequence, &skipped) &&  // validity
           fields.Expect(DerReader::kSequence, &f->subject);
}

}  // namespace

namespace {

// The signer of a SignedData into s; false with the reason in *error.
bool SignerOf(const uint8_t* data, size_t size, PeSignature* s, std::string* error) {
    DerReader top(data, size);
    DerElement contentInfo, type, wrapped, signedData;
    if (!top.Expect(DerReader::kSequence, &contentInfo)) {
        return Fail(error, "the signature is not DER-encoded PKCS #7");
    }
    DerReader info(contentInfo);
    if (!info.Expect(DerReader::kObjectId, &type) || type.length != sizeof kSignedDataOid ||
        std::memcmp(type.body, kSignedDataOid, sizeof kSignedDataOid) != 0) {
        return Fail(error, "the signature is not PKCS #7 SignedData");
    }
    if (!info.Expect(DerReader::kContext0, &wrapped) ||
        !DerReader(wrapped).Expect(DerReader::kSequence, &signedData)) {
        return Fail(error, "the SignedData is broken");
    }
    DerReader fields(signedData);
    DerElement version, digests, signedContent, certificates, crls, signers;
    if (!fields.Expect(DerReader::kInteger, &version) || !fields.Expect(DerReader::kSet, &digests) ||
        !fields.Expect(DerReader::kSequence, &signedContent)) {
        return Fail(error, "the SignedData is broken");
    }
    const bool carriesCertificates = fields.Expect(DerReader::kContext0, &certificates);
    fields.Expect(DerReader::kContext1, &crls);
    if (!fields.Expect(DerReader::kSet, &signers)) return Fail(error, "the SignedData is broken");

    std::vector<DerElement> carried;
    DerReader list(carriesCertificates ? certificates : DerElement());
    while (!list.AtEnd()) {
        DerElement c;
        if (!list.Next(&c)) return Fail(error, "the certificates of the signature are broken");
        if (c.tag != DerReader::kSequence) continue;  // other certificate formats
        carried.push_back(c);
        s->certificates.emplace_back(c.start, c.start + c.size);
    }

    // The first signer, named by its certificate's issuer and serial number
    // as Authenticode has it.
    DerReader signerList(signers);
    DerElement signer, signerVersion, id, issuer, serial;
    if (!signerList.Expect(DerReader::kSequence, &signer)) return Fail(error, "the signature has no signer");
    DerReader signerFields(signer);
    if (!signerFields.Expect(DerReader::kInteger, &signerVersion) ||
        !signerFields.Expect(DerReader::kSequence, &id)) {
        return Fail(error, "the signer is not named by issuer and serial number");
    }
    DerReader idFields(id);
    if (!idFields.Expect(DerReader::kSequence, &issuer) ||
        !idFields.Expect(DerReader::kInteger, &serial)) {
        return Fail(error, "the signer is not named by issuer and serial number");
    }
    for (const DerElement& c : carried) {
        CertificateFields f;
        if (!ReadCertificate(c, &f) || !SameElement(f.issuer, issuer) ||
            !SameElement(f.serial, serial)) {
            continue;
        }
        if (!NameText(f.subject, &s->signer)) {
            return Fail(error, "the subject of the signer's certificate is broken");
        }
        s->state = PeSignature::kSigned;
        return true;
    }
    return Fail(error, "the signer's certificate is not among those the signature carries");
}

}  // namespace

bool ReadSignedData(const uint8_t* data, size_t size, PeSignature* signature) {
    std::string problem;
    return SignerOf(data, size, signature, &problem) || Unreadable(signature, problem);
}

PeSignature ReadPeSignature(const PeImage& pe) {
    PeSignature s;
    const PeDirectory table = pe.Directory(PeImage::kSecurityDirectory);
    if (table.size == 0) return s;
    const std::vector<uint8_t>& f = *pe.file;
    if (table.size < kPeCertificateHeaderSize || table.address > f.size() ||
        table.size > f.size() - table.address) {
        Unreadable(&s, "the certificate table lies outside the file");
        return s;
    }
    const uint32_t length = GetU32(f, table.address);
    if (length < kPeCertificateHeaderSize || length > table.size) {
        Unreadable(&s, "the certificate table's first entry overruns it");
    } else if (GetU16(f, table.address + kPeCertificateTypeField) != kPkcsSignedData) {
        Unreadable(&s, "the certificate table holds no PKCS #7 signature");
    } else {
        ReadSignedData(&f[table.address + kPeCertificateHeaderSize], length - kPeCertificateHeaderSize, &s);
    }
    return s;
}
