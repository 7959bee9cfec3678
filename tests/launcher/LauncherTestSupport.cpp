#include "tests/launcher/LauncherTestSupport.h"

#include <algorithm>

#include "archive/CtCompress.h"
#include "tools/velpack/PayloadWriter.h"

namespace {
std::string Environment(const char* name) {
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Restore(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}
}  // namespace

TestPayload::TestPayload() : image{4, 0, 0, 0} {}

TestPayload& TestPayload::Stored(const std::string& name, const std::string& content,
                                 const std::string& info, int32_t method) {
    return Raw(method, name, info, content, static_cast<int32_t>(content.size()));
}

TestPayload& TestPayload::Packed(const std::string& name, const std::string& content,
                                 const std::string& info, int32_t method) {
    const std::vector<uint8_t> packed =
        CtCompress(reinterpret_cast<const uint8_t*>(content.data()), content.size());
    AppendRecord(&image, method, name, info, packed.data(), packed.size(),
                 static_cast<int32_t>(content.size()));
    return *this;
}

TestPayload& TestPayload::Raw(int32_t method, const std::string& name, const std::string& info,
                              const std::string& content, int32_t unpacked) {
    AppendRecord(&image, method, name, info, reinterpret_cast<const uint8_t*>(content.data()),
                 content.size(), unpacked);
    return *this;
}

size_t TestPayload::RecordOffset(int32_t index) const {
    size_t at = 4;
    for (int32_t i = 0; i < index; ++i) {
        uint32_t length;
        std::copy(image.begin() + at, image.begin() + at + 4, reinterpret_cast<uint8_t*>(&length));
        at += length;
    }
    return at;
}

std::string TimeInfo(uint64_t filetime) {
    return "entry\r\nDWCL=" + std::to_string(static_cast<uint32_t>(filetime)) +
           "\r\nDWCH=" + std::to_string(static_cast<uint32_t>(filetime >> 32)) + "\r\n";
}

uint64_t LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string data(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!data.empty()) ReadFile(h, &data[0], static_cast<DWORD>(data.size()), &got, nullptr);
    CloseHandle(h);
    data.resize(got);
    return data;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == data.size();
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
    } while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& folder) {
    for (const std::string& name : FolderNames(folder)) {
        const std::string path = folder + "\\" + name;
        if (name.back() == '\\') {
            RemoveTree(path.substr(0, path.size() - 1));
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

TempRoot::TempRoot(const std::string& tag)
    : savedTmp_(Environment("TMP")), savedTemp_(Environment("TEMP")) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    path = std::string(base) + "vel-" + tag + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(path);
    CreateDirectoryA(path.c_str(), nullptr);
    char directory[MAX_PATH];
    GetCurrentDirectoryA(sizeof directory, directory);
    savedDirectory_ = directory;
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
}

TempRoot::~TempRoot() {
    SetCurrentDirectoryA(savedDirectory_.c_str());
    Restore("TMP", savedTmp_);
    Restore("TEMP", savedTemp_);
    RemoveTree(path);
}
