// UTF-8 as velpack's PE readers take it: manifests, and the strings of a
// signer's certificate.
#ifndef VEL_VELPACK_UTF8_H
#define VEL_VELPACK_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>

// The character that the n bytes at p (1 or more) begin with: true with
// *c and its *length in bytes, false when p does not begin a sound
// sequence (a stray or missing continuation byte, one cut by the end, an
// overlong form, a surrogate, or a code point past U+10FFFF).
bool NextUtf8(const uint8_t* p, size_t n, uint32_t* c, size_t* length);

// Appends the UTF-8 form of c (a Unicode scalar value).
void AppendUtf8(uint32_t c, std::string* out);

#endif
