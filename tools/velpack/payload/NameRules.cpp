#include "tools/velpack/payload/NameRules.h"

#include <cstdio>

#include "services/DeviceName.h"

namespace {

// The upper-case partner of a Windows-1252 letter, as Windows compares file
// names; other bytes stay.
unsigned char UpperAnsi(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
    switch (c) {
        case 0x9A: return 0x8A;  // š
        case 0x9C: return 0x8C;  // œ
        case 0x9E: return 0x8E;  // ž
        case 0xFF: return 0x9F;  // ÿ
        default: return c;
    }
}

}  // namespace

std::string WindowsNameProblem(const std::string& ansi) {
    if (ansi.empty()) return "the name is empty";
    if (ansi == "." || ansi == "..") return "the name is a folder reference";
    for (char c : ansi) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32) {
            char text[64];
            std::snprintf(text, sizeof text, "the name holds the control character 0x%02X", u);
            return text;
        }
        if (c == '/' || c == '\\') return "the name holds a folder separator";
        if (c == ':') return "the name holds ':' (a drive letter or stream)";
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
            return std::string("the name holds '") + c + "', which Windows forbids in file names";
        }
    }
    if (ansi.back() == '.' || ansi.back() == ' ') {
        return "the name ends in a dot or a blank, which Windows drops";
    }
    if (IsDeviceName(ansi.data(), static_cast<int32_t>(ansi.size()))) return "the name is a reserved device name of Windows";
    return "";
}

std::string FoldedName(const std::string& ansi) {
    std::string folded = ansi;
    for (char& c : folded) c = static_cast<char>(UpperAnsi(static_cast<unsigned char>(c)));
    return folded;
}
