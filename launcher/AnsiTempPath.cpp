#include "launcher/AnsiTempPath.h"

#include <windows.h>

namespace {
// WC_ERR_INVALID_CHARS, which the headers of the oldest systems we run on
// do not name: a lone surrogate fails the conversion instead of becoming
// U+FFFD.
const DWORD kErrorOnInvalid = 0x00000080;
}  // namespace

int32_t ExactAnsi(const wchar_t* wide, uint32_t codePage, char* buffer, int32_t capacity) {
    int n = 0;
    if (codePage == CP_UTF8) {
        // UTF-8 spells every character; it takes neither
        // WC_NO_BEST_FIT_CHARS nor a used-default flag (the call fails with
        // them), only this.
        n = WideCharToMultiByte(CP_UTF8, kErrorOnInvalid, wide, -1, buffer, capacity, nullptr,
                                nullptr);
    } else {
        // No character replaced by a default or a look-alike
        // (WC_NO_BEST_FIT_CHARS: "é" from "ĕ" would name another folder).
        BOOL replaced = FALSE;
        n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, capacity,
                                nullptr, &replaced);
        if (replaced) return 0;
    }
    return n > 1 ? n - 1 : 0;
}

int32_t AnsiTempPath(char* buffer, int32_t capacity) {
    wchar_t wide[MAX_PATH + 1];
    const DWORD got = GetTempPathW(MAX_PATH + 1, wide);
    if (got == 0 || got > MAX_PATH) return 0;
    const uint32_t codePage = GetACP();
    int32_t n = ExactAnsi(wide, codePage, buffer, capacity);
    if (n != 0) return n;
    wchar_t shortPath[MAX_PATH + 1];
    const DWORD shortGot = GetShortPathNameW(wide, shortPath, MAX_PATH + 1);
    if (shortGot == 0 || shortGot > MAX_PATH) return 0;
    return ExactAnsi(shortPath, codePage, buffer, capacity);
}
