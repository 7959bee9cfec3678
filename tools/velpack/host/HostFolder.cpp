#include "tools/velpack/host/HostFolder.h"

#include <filesystem>
#include <system_error>

#include "tools/velpack/host/SystemError.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <cstdio>
#endif

namespace fs = std::filesystem;

namespace {
#ifdef _WIN32
const bool kWindowsPaths = true;
#else
const bool kWindowsPaths = false;
#endif
}  // namespace

#ifdef _WIN32

std::wstring WidePath(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, &w[0], wide);
    return w;
}

std::string Utf8FromWide(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &s[0], bytes, nullptr, nullptr);
    return s;
}

namespace {
fs::path HostPath(const std::string& utf8) { return fs::path(WidePath(utf8)); }
std::string Utf8Name(const fs::path& p) { return Utf8FromWide(p.wstring()); }
}  // namespace

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           SystemFailure(error);
}

std::string TemporaryBeside(const std::string& path) {
    return path + ".velpack-" + std::to_string(GetCurrentProcessId());
}

#else

namespace {
fs::path HostPath(const std::string& utf8) { return fs::path(utf8); }
std::string Utf8Name(const fs::path& p) { return p.string(); }
}  // namespace

bool RenameOver(const std::string& from, const std::string& to, std::string* error) {
    return std::rename(from.c_str(), to.c_str()) == 0 || SystemFailure(error);
}

std::string TemporaryBeside(const std::string& path) {
    return path + ".velpack-" + std::to_string(getpid());
}

#endif

std::string TemporaryElsewhere(const std::string& stem) {
    std::error_code ec;
    const fs::path folder = fs::temp_directory_path(ec);
    const std::string name = TemporaryBeside(stem);
    return ec ? name : JoinHostPath(Utf8Name(folder), name);
}

bool ListFolder(const std::string& path, std::vector<FolderItem>* items, std::string* error) {
    std::error_code ec;
    fs::directory_iterator it(HostPath(path), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        FolderItem item;
        item.name = Utf8Name(it->path().filename());
        item.size = 0;
        std::error_code statusError;
        const fs::file_status status = it->status(statusError);
        if (fs::is_regular_file(status)) {
            item.kind = FolderItem::kFile;
            item.size = it->file_size(statusError);
        } else if (fs::is_directory(status)) {
            item.kind = FolderItem::kFolder;
        } else {
            item.kind = FolderItem::kOther;
        }
        items->push_back(item);
    }
    if (ec) {
        *error = SystemErrorText(ec);
        return false;
    }
    return true;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(HostPath(path), ec);
}

bool MakeFolders(const std::string& path, std::string* error) {
    std::error_code ec;
    fs::create_directories(HostPath(path), ec);
    if (ec) {
        *error = SystemErrorText(ec);
        return false;
    }
    return true;
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    fs::remove(HostPath(path), ec);
}

std::string JoinHostPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    // Windows takes '/' as well as '\\'; one separator on every host keeps
    // messages alike. "C:" names a drive's current folder: nothing between.
    if (last == '/' || (kWindowsPaths && (last == '\\' || last == ':'))) return folder + name;
    return folder + "/" + name;
}
