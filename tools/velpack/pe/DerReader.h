// Elements of DER-encoded ASN.1, the encoding of X.509 certificates and of
// the PKCS #7 SignedData that Authenticode puts in a PE file. Every length
// is checked against the bytes that hold it; what DER does not allow
// (indefinite lengths, lengths over 4 bytes) and multi-byte tags, which
// those structures do not use, count as broken encoding.
#ifndef VEL_VELPACK_DERREADER_H
#define VEL_VELPACK_DERREADER_H

#include <cstddef>
#include <cstdint>

struct DerElement {
    uint8_t tag = 0;  // the identifier byte: class, constructed bit, number
    const uint8_t* start = nullptr;  // the whole element, identifier first
    size_t size = 0;
    const uint8_t* body = nullptr;  // its contents
    size_t length = 0;
};

class DerReader {
public:
    enum : uint8_t {
        kInteger = 0x02,
        kObjectId = 0x06,
        kSequence = 0x30,
        kSet = 0x31,
        kContext0 = 0xA0,  // [0], constructed
        kContext1 = 0xA1,
    };

    DerReader(const uint8_t* data, size_t size) : next_(data), end_(data + size) {}
    // Over the contents of a constructed element.
    explicit DerReader(const DerElement& e) : DerReader(e.body, e.length) {}

    bool AtEnd() const { return next_ == end_; }
    // The identifier of the next element, without reading it; false at the end.
    bool PeekTag(uint8_t* tag) const;
    // Reads the next element; false at the end or where the encoding is
    // broken, which leaves the reader where it was.
    bool Next(DerElement* e);
    // Reads the next element, which must have the given tag.
    bool Expect(uint8_t tag, DerElement* e);

private:
    const uint8_t* next_;
    const uint8_t* end_;
};

#endif
