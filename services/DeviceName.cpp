#include "services/DeviceName.h"

namespace {

const int32_t kLongestDevice = 7;  // CONOUT$

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool Is(const char* stem, int32_t length, const char* device) {
    int32_t i = 0;
    for (; i < length && device[i] != 0; ++i) {
        if (stem[i] != device[i]) return false;
    }
    return i == length && device[i] == 0;
}

}  // namespace

int32_t IsDeviceName(const char* part, int32_t length) {
    // Windows looks at the stem: up to the first dot, without the blanks
    // before it.
    int32_t stem = 0;
    while (stem < length && part[stem] != '.') ++stem;
    while (stem > 0 && part[stem - 1] == ' ') --stem;
    if (stem < 3 || stem > kLongestDevice) return 0;
    char s[kLongestDevice];
    for (int32_t i = 0; i < stem; ++i) s[i] = AsciiUpper(part[i]);
    if (Is(s, stem, "CON") || Is(s, stem, "PRN") || Is(s, stem, "AUX") || Is(s, stem, "NUL") ||
        Is(s, stem, "CONIN$") || Is(s, stem, "CONOUT$")) {
        return 1;
    }
    if (stem != 4 || !(Is(s, 3, "COM") || Is(s, 3, "LPT"))) return 0;
    // The digits, and the superscripts of Windows-1252: 0xB9, 0xB2, 0xB3.
    const unsigned char d = static_cast<unsigned char>(s[3]);
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3 ? 1 : 0;
}
