#include "launcher/AnsiTempPath.h"

#include <windows.h>

namespace {

// wide in the ANSI code page, exactly: no character replaced by a default
// or a look-alike (WC_NO_BEST_FIT_CHARS: "é" from "ĕ" would name another
// folder). Its length, or 0.
int32_t ExactAnsi(const wchar_t* wide, char* buffer, int32_t capacity) {
    BOOL replaced = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, capacity,
                                      nullptr, &replaced);
    if (n <= 1 || replaced) return 0;
    return n - 1;
}

}  // namespace

int32_t AnsiTempPath(char* buffer, int32_t capacity) {
    wchar_t wide[MAX_PATH + 1];
    const DWORD got = GetTempPathW(MAX_PATH + 1, wide);
    if (got == 0 || got > MAX_PATH) return 0;
    int32_t n = ExactAnsi(wide, buffer, capacity);
    if (n != 0) return n;
    wchar_t shortPath[MAX_PATH + 1];
    const DWORD shortGot = GetShortPathNameW(wide, shortPath, MAX_PATH + 1);
    if (shortGot == 0 || shortGot > MAX_PATH) return 0;
    n = ExactAnsi(shortPath, buffer, capacity);
    return n;
}
