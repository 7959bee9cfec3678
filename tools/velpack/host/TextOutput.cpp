#include "tools/velpack/host/TextOutput.h"

#include <cstdarg>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <io.h>

#include "tools/velpack/host/HostFolder.h"
#endif

namespace {

#ifdef _WIN32
// What one WriteConsoleW call takes: consoles of old Windows versions
// refuse more than about 64 KB at once.
const size_t kConsoleChunk = 8192;

// Writes text to the console behind handle; false, with nothing written,
// when there is none (a file, a pipe, the null device).
bool WriteToConsole(HANDLE handle, const std::string& text) {
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_CHAR) return false;
    const std::wstring wide = WidePath(text);
    size_t done = 0;
    while (done < wide.size()) {
        size_t n = wide.size() - done < kConsoleChunk ? wide.size() - done : kConsoleChunk;
        // A surrogate pair stays in one piece.
        if (n == kConsoleChunk && IS_HIGH_SURROGATE(wide[done + n - 1])) --n;
        DWORD written = 0;
        if (!WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(n), &written, nullptr) ||
            written == 0) {
            // No console after all, or one that stopped taking text (nowhere
            // else to say it).
            return done != 0;
        }
        done += written;
    }
    return true;
}
#endif

}  // namespace

void WriteText(std::FILE* stream, const std::string& text) {
#ifdef _WIN32
    // What the runtime still holds for the stream comes first.
    std::fflush(stream);
    if (WriteToConsole(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), text)) return;
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
}

void Printf(std::FILE* stream, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int n = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (n > 0) {
        std::vector<char> text(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        WriteText(stream, std::string(text.data(), static_cast<size_t>(n)));
    }
    va_end(again);
}
