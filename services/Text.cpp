#include "services/Text.h"

#include <cstdlib>

// clang-format off
const unsigned char FoldTable[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    // a-z fold onto A-Z.
    0x60, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    // Code page 437 letters: Ç ü é â ä à å ç ê ë è ï î ì Ä Å. ü folds to V, as
    // it always has; names in the field depend on it.
    0x43, 0x56, 0x45, 0x41, 0x41, 0x41, 0x41, 0x43, 0x45, 0x45, 0x45, 0x49, 0x49, 0x49, 0x41, 0x41,
    // É æ Æ ô ö ò û ù ÿ Ö Ü ¢ £ ¥ ₧ ƒ
    0x45, 0x91, 0x92, 0x4F, 0x4F, 0x4F, 0x55, 0x55, 0x59, 0x4F, 0x55, 0x43, 0x9C, 0x9D, 0x9E, 0x9F,
    // á í ó ú ñ Ñ, then everything else to itself (ANSI accents included).
    0x41, 0x49, 0x4F, 0x55, 0x4E, 0x4E, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
};
// clang-format on

namespace {
const char kDigits[] = "0123456789ABCDEF";

// Nothing catches a division by zero: it ends the program. The Windows
// programs are built without exception support (the launcher stub cannot
// afford the runtime), so there it ends the program directly, as the
// uncaught exception would.
[[noreturn]] void RaiseDivisionByZero() {
#if defined(__cpp_exceptions)
    throw CtExceptionDiv0();
#else
    std::abort();
#endif
}

// Base 10 never needs more than 10 digits and bases 8 to 16 at most 11; the
// store keeps the historical 12.
const int kDigitStore = 12;
}  // namespace

int32_t TextLength(const char* text) {
    if (text == nullptr) return 0;
    int32_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

int32_t TextAppend(char* buffer, const char* text) {
    if (buffer == nullptr || text == nullptr) return 0;
    int32_t n = TextLength(buffer);
    for (int32_t i = 0; text[i] != 0; ++i) buffer[n++] = text[i];
    buffer[n] = 0;
    return n;
}

int32_t TextAppendBounded(char* buffer, int32_t capacity, const char* text) {
    if (buffer == nullptr || text == nullptr || capacity <= 0) return -1;
    int32_t have = 0;
    while (have < capacity && buffer[have] != 0) ++have;
    if (have == capacity) return -1;  // not even terminated within capacity
    int32_t add = TextLength(text);
    if (add > capacity - 1 - have) return -1;
    for (int32_t i = 0; i < add; ++i) buffer[have + i] = text[i];
    buffer[have + add] = 0;
    return have + add;
}

int32_t TextCopy(char* destination, const char* source, int32_t capacity,
                 int32_t* position) {
    if (destination == nullptr || source == nullptr) return 0;
    int32_t i = position != nullptr ? *position : 0;
    // A start outside the buffer would write the terminator out of bounds.
    if (capacity <= 0 || i < 0 || i >= capacity) return 0;
    const char* s = source;
    while (i < capacity - 1 && *s != 0) destination[i++] = *s++;
    destination[i] = 0;
    if (position != nullptr) *position = i;
    return i;
}

int32_t TextEqualN(int32_t n, const char* text, const char* other) {
    if (n <= 0) return 1;
    if (text == nullptr || other == nullptr) return 0;
    for (int32_t k = n - 1; k >= 0; --k) {
        if (text[k] != other[k]) return 0;
    }
    return 1;
}

int32_t TextFind(const char* text, const char* pattern, int32_t exact, int32_t length) {
    if (text == nullptr || pattern == nullptr) return 0;
    if (length == 0) length = TextLength(text);
    const int32_t m = TextLength(pattern);
    if (m > length) return 0;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern);
    for (int32_t s = 0; s + m <= length; ++s) {
        int32_t j = 0;
        if (exact != 0) {
            while (j < m && p[j] == t[s + j]) ++j;
        } else {
            while (j < m && FoldTable[p[j]] == FoldTable[t[s + j]]) ++j;
        }
        if (j == m) return s + 1;
    }
    return 0;
}

const char* TextFindAfter(const char* text, const char* pattern, int32_t exact,
                          int32_t length) {
    int32_t r = TextFind(text, pattern, exact, length);
    if (r == 0) return nullptr;
    return text + r - 1 + TextLength(pattern);
}

int32_t TextValue(const char* text, int32_t length, const char* key, char* buffer,
                  int32_t capacity) {
    const char* p = TextFindAfter(text, key, 0, length);
    if (p == nullptr || buffer == nullptr || capacity <= 0) return 0;
    int32_t count = 0;
    // The line runs on past length: values end at their line break or at the
    // text's terminator, wherever the key was found.
    for (; *p != '\r' && *p != '\n' && *p != 0; ++p) {
        if (count + 1 < capacity) buffer[count++] = *p;
    }
    buffer[count] = 0;
    return count;
}

void DivideUnsigned(uint32_t dividend, uint32_t divisor, uint32_t* quotient,
                    uint32_t* remainder) {
    if (divisor == 0) RaiseDivisionByZero();
    uint32_t d = divisor;
    int k = 0;
    while ((d & 0x80000000u) == 0 && 2 * d <= dividend) {
        d *= 2;
        ++k;
    }
    uint32_t r = dividend;
    uint32_t q = 0;
    for (int i = 0; i <= k; ++i) {
        q *= 2;
        if (r >= d) {
            r -= d;
            q += 1;
        }
        d >>= 1;
    }
    *quotient = q;
    *remainder = r;
}

char* NumberToText(uint32_t value, char* buffer, int32_t base) {
    // Base 0 would divide by zero and base 1 never reach 0.
    if (base > 16 || base < 2 || buffer == nullptr) return nullptr;
    char store[kDigitStore];
    int n = 0;
    do {
        if (n == kDigitStore) return nullptr;  // bases 2-7 on large values
        uint32_t digit;
        DivideUnsigned(value, static_cast<uint32_t>(base), &value, &digit);
        store[n++] = kDigits[digit];
    } while (value != 0);
    for (int i = 0; i < n; ++i) buffer[i] = store[n - 1 - i];
    buffer[n] = 0;
    return buffer;
}
