#include "tests/launcher/LauncherTestSupport.h"

#include "archive/CtCompress.h"
#include "tools/velpack/payload/PayloadWriter.h"

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

std::string TimeInfo(uint64_t filetime) { return "entry" + InfoTimeLines(filetime) + "\r\n"; }

uint64_t LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

TempRoot::TempRoot(const std::string& tag)
    : TempFolder(tag), savedTmp_(Environment("TMP")), savedTemp_(Environment("TEMP")) {
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
}
