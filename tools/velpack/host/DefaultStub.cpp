#include "tools/velpack/host/DefaultStub.h"

#include "tools/velpack/host/HostFile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

namespace {

// The folder of the running program, with a trailing separator; empty when
// the system does not say.
std::string OwnFolder() {
#ifdef _WIN32
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
    if (n == 0 || n >= sizeof path / sizeof path[0]) return std::string();
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), nullptr, 0,
                                          nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), &utf8[0], bytes, nullptr,
                        nullptr);
    const size_t cut = utf8.find_last_of("\\/");
#else
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof path) return std::string();
    const std::string utf8(path, static_cast<size_t>(n));
    const size_t cut = utf8.rfind('/');
#endif
    return cut == std::string::npos ? std::string() : utf8.substr(0, cut + 1);
}

}  // namespace

std::vector<std::string> DefaultStubCandidates() {
    const std::string folder = OwnFolder();
    if (folder.empty()) return {};
    return {folder + "../win32/velstub.exe", folder + "velstub.exe",
            folder + "../share/velmar/velstub.exe"};
}

std::string FindDefaultStub() {
    for (const std::string& candidate : DefaultStubCandidates()) {
        HostFile file;
        std::string error;
        if (file.OpenRead(candidate, &error)) return candidate;
    }
    return std::string();
}
