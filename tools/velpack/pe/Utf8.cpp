#include "tools/velpack/pe/Utf8.h"

bool NextUtf8(const uint8_t* p, size_t n, uint32_t* c, size_t* length) {
    const uint8_t b = p[0];
    size_t more;
    uint32_t code;
    uint32_t least;
    if (b < 0x80) {
        more = 0, code = b, least = 0;
    } else if (b >= 0xC0 && b < 0xE0) {
        more = 1, code = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b < 0xF0) {
        more = 2, code = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b < 0xF8) {
        more = 3, code = b & 0x07, least = 0x10000;
    } else {
        return false;
    }
    if (more >= n) return false;
    for (size_t k = 1; k <= more; ++k) {
        if ((p[k] & 0xC0) != 0x80) return false;
        code = code << 6 | (p[k] & 0x3F);
    }
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    *c = code;
    *length = more + 1;
    return true;
}

void AppendUtf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | c >> 6);
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | c >> 12);
        *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | c >> 18);
        *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
