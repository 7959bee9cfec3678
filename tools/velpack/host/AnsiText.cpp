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
