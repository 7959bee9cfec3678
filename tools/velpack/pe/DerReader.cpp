#include "tools/velpack/pe/DerReader.h"

bool DerReader::PeekTag(uint8_t* tag) const {
    if (next_ == end_) return false;
    *tag = *next_;
    return true;
}

bool DerReader::Next(DerElement* e) {
    const uint8_t* p = next_;
    const size_t left = static_cast<size_t>(end_ - p);
    if (left < 2 || (p[0] & 0x1F) == 0x1F) return false;
    size_t length = p[1];
    size_t header = 2;
    if (length & 0x80) {
        const size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 4 || left - 2 < bytes) return false;
        length = 0;
        for (size_t k = 0; k < bytes; ++k) length = length << 8 | p[2 + k];
        header += bytes;
    }
    if (length > left - header) return false;
    e->tag = p[0];
    e->start = p;
    e->size = header + length;
    e->body = p + header;
    e->length = length;
    next_ = p + e->size;
    return true;
}

bool DerReader::Expect(uint8_t tag, DerElement* e) {
    uint8_t next = 0;
    return PeekTag(&next) && next == tag && Next(e);
}
