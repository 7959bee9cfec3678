// Windows-1252, the launcher's code page, and UTF-8, the host's: archive
// names and titles are the former, the command line and the disk the latter.
#ifndef VEL_VELPACK_ANSITEXT_H
#define VEL_VELPACK_ANSITEXT_H

#include <string>

// false, with *ansi unspecified, when utf8 is not valid UTF-8 or holds a
// character that Windows-1252 lacks.
bool AnsiFromUtf8(const std::string& utf8, std::string* ansi);

// false when ansi holds one of the five bytes Windows-1252 leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D).
bool Utf8FromAnsi(const std::string& ansi, std::string* utf8);

// The UTF-16 form of Windows-1252 text, as Windows stores resource
// strings (the five undefined bytes become U+0081 and the like, as Windows
// has them). Never fails.
std::u16string Utf16FromAnsi(const std::string& ansi);

// For messages and listings: the UTF-8 form, with undefined bytes and
// control characters shown as \xNN. Never fails.
std::string PrintableAnsi(const std::string& ansi);

#endif
