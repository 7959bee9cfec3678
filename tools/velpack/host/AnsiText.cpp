#include "tools/velpack/host/AnsiText.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace {

const char kAnsiCodeset[] = "WINDOWS-1252";

// Windows maps these five bytes to control characters of its own accord
// while iconv refuses them; refusing them on both sides keeps the builds
// in agreement.
bool IsUndefinedAnsi(unsigned char c) {
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

bool HasUndefinedAnsi(const std::string& ansi) {
    for (char c : ansi) {
        if (IsUndefinedAnsi(static_cast<unsigned char>(c))) return true;
    }
    return false;
}

#ifdef _WIN32

const UINT kAnsiCodePage = 1252;

bool Convert(UINT from, UINT to, const std::string& in, std::string* out) {
    out->clear();
    if (in.empty()) return true;
    const int n = static_cast<int>(in.size());
    int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), n, nullptr, 0);
    if (wide == 0) return false;
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), n, &w[0], wide);
    // Without these flags a character outside 1252 quietly becomes a
    // look-alike or '?'.
    BOOL lossy = FALSE;
    const DWORD flags = to == kAnsiCodePage ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL* lossyOut = to == kAnsiCodePage ? &lossy : nullptr;
    int bytes = WideCharToMultiByte(to, flags, w.data(), wide, nullptr, 0, nullptr, lossyOut);
    if (bytes == 0 || lossy) return false;
    out->resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(to, flags, w.data(), wide, &(*out)[0], bytes, nullptr, lossyOut);
    return !lossy;
}

#else

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Run(const std::string& in, std::string* out) {
        out->clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        char* source = const_cast<char*>(in.data());
        size_t left = in.size();
        char buffer[256];
        while (left > 0) {
            char* target = buffer;
            size_t room = sizeof buffer;
            const size_t r = iconv(cd_, &source, &left, &target, &room);
            out->append(buffer, static_cast<size_t>(target - buffer));
            // E2BIG only means the buffer is full; anything else is a
            // character that has no place in the other code set.
            if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
            // iconv answers the count of characters it replaced by a
            // look-alike: none is acceptable for a name.
            if (r != static_cast<size_t>(-1) && r != 0) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

#endif

}  // namespace

bool AnsiFromUtf8(const std::string& utf8, std::string* ansi) {
#ifdef _WIN32
    if (!Convert(CP_UTF8, kAnsiCodePage, utf8, ansi)) return false;
#else
    Iconv cd(kAnsiCodeset, "UTF-8");
    if (!cd.Run(utf8, ansi)) return false;
#endif
    return !HasUndefinedAnsi(*ansi);
}

bool Utf8FromAnsi(const std::string& ansi, std::string* utf8) {
    if (HasUndefinedAnsi(ansi)) return false;
#ifdef _WIN32
    return Convert(kAnsiCodePage, CP_UTF8, ansi, utf8);
#else
    Iconv cd("UTF-8", kAnsiCodeset);
    return cd.Run(ansi, utf8);
#endif
}

std::u16string Utf16FromAnsi(const std::string& ansi) {
    // 0x80 to 0x9F; the rest of the code page is Latin-1.
    static const char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::u16string wide;
    for (char c : ansi) {
        const unsigned char u = static_cast<unsigned char>(c);
        wide.push_back(u >= 0x80 && u < 0xA0 ? kHigh[u - 0x80] : static_cast<char16_t>(u));
    }
    return wide;
}

std::string PrintableAnsi(const std::string& ansi) {
    std::string out;
    std::string piece;
    std::string run;
    auto flush = [&]() {
        if (run.empty()) return;
        Utf8FromAnsi(run, &piece);
        out += piece;
        run.clear();
    };
    for (char c : ansi) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || IsUndefinedAnsi(u)) {
            flush();
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            out += escape;
        } else {
            run += c;
        }
    }
    flush();
    return out;
}
