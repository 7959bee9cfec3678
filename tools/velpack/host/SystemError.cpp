#include "tools/velpack/host/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/velpack/host/HostFolder.h"
#else
#include <cerrno>
#endif

#ifdef _WIN32

namespace {

// In the user's language, as UTF-8 like every other text velpack prints
// (the standard library's text is in the ANSI code page), without the
// closing period and line end.
std::string WindowsErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0) return "Windows error " + std::to_string(code);
    std::wstring message(text, n);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return Utf8FromWide(message);
}

}  // namespace

std::string LastSystemError() { return WindowsErrorText(GetLastError()); }

std::string SystemErrorText(const std::error_code& code) {
    if (code.category() == std::system_category()) {
        return WindowsErrorText(static_cast<DWORD>(code.value()));
    }
    return code.message();
}

#else

std::string LastSystemError() { return std::generic_category().message(errno); }

std::string SystemErrorText(const std::error_code& code) { return code.message(); }

#endif

bool SystemFailure(std::string* error) {
    *error = LastSystemError();
    return false;
}
