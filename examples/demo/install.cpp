// A stand-in installer: it records what the launcher handed it and ends.
//
// It writes "<its own name>.report" into its current directory: the command
// line it received, its current directory, and the files it found there
// with their last-write times (UTC); and "ended" when it ends. The demo shows that report; the
// end-to-end tests use copies of this program as install.exe and as
// "AutoInst_" programs, and steer it by its file name: "exit<N>" in the name
// makes it end with exit code N, "sleep<N>" makes it wait N milliseconds.
// install.exe, whose name is fixed, takes them from its arguments (which
// are the launcher's) when its name has none.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The number that follows word in name (case ignored), or fallback.
unsigned long NumberAfter(const char* name, const char* word, unsigned long fallback) {
    const size_t n = std::strlen(word);
    for (const char* p = name; *p != 0; ++p) {
        if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, p, static_cast<int>(n), word,
                           static_cast<int>(n)) == CSTR_EQUAL &&
            p[n] >= '0' && p[n] <= '9') {
            unsigned long v = 0;
            for (const char* d = p + n; *d >= '0' && *d <= '9'; ++d) v = v * 10 + (*d - '0');
            return v;
        }
    }
    return fallback;
}

void ListFolder(FILE* out) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA("*", &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (found.cFileName[0] == '.' &&
            (found.cFileName[1] == 0 || (found.cFileName[1] == '.' && found.cFileName[2] == 0)))
            continue;
        SYSTEMTIME t;
        FileTimeToSystemTime(&found.ftLastWriteTime, &t);
        std::fprintf(out, "file: %s%s | %lu bytes | %04u-%02u-%02uT%02u:%02u:%02uZ\r\n",
                     found.cFileName,
                     (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : "",
                     static_cast<unsigned long>(found.nFileSizeLow), t.wYear, t.wMonth, t.wDay,
                     t.wHour, t.wMinute, t.wSecond);
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

// The arguments of the command line: what follows the program's path.
const char* Arguments() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        for (++p; *p != 0 && *p != '"'; ++p) {
        }
        if (*p == '"') ++p;
    } else {
        while (*p != 0 && *p != ' ') ++p;
    }
    return p;
}

// The number after word in the name, else in the arguments, or 0.
unsigned long Setting(const char* name, const char* word) {
    return NumberAfter(name, word, NumberAfter(Arguments(), word, 0));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 99;
    const char* name = std::strrchr(path, '\\');
    name = name != nullptr ? name + 1 : path;

    char report[MAX_PATH + 16];
    std::snprintf(report, sizeof report, "%s.report", name);
    char cwd[MAX_PATH];
    if (GetCurrentDirectoryA(MAX_PATH, cwd) == 0) cwd[0] = 0;

    if (FILE* out = std::fopen(report, "wb")) {
        std::fprintf(out, "program: %s\r\n", path);
        std::fprintf(out, "command line: %s\r\n", GetCommandLineA());
        std::fprintf(out, "current directory: %s\r\n", cwd);
        ListFolder(out);
        std::fclose(out);
    }
    Sleep(Setting(name, "sleep"));
    // The last line, once the sleep is over: whoever waited for the program
    // finds it.
    if (FILE* out = std::fopen(report, "ab")) {
        std::fprintf(out, "ended\r\n");
        std::fclose(out);
    }
    return static_cast<int>(Setting(name, "exit"));
}
