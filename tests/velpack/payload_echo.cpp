// The test stub of velpack make: a Windows program that reads its own
// "EXE_DATA" resource 1 as the launcher does and prints what it found, or
// compares it with a file.
//
//   payload_echo            prints the payload's size and FNV-1a hash, and
//                           the stub's other resources (icon, dialog, string)
//   payload_echo FILE       exits 0 when the payload equals FILE's bytes
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/velpack/payload_echo_ids.h"

namespace {

uint64_t Fnv1a(const uint8_t* data, DWORD size) {
    uint64_t h = 14695981039346656037ull;
    for (DWORD i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

DWORD ResourceSize(LPCSTR type, LPCSTR name) {
    HRSRC r = FindResourceA(nullptr, name, type);
    return r == nullptr ? 0 : SizeofResource(nullptr, r);
}

bool ReadFileBytes(const char* path, std::vector<uint8_t>* data) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD size = GetFileSize(h, nullptr);
    data->resize(size);
    DWORD got = 0;
    const BOOL ok = size == 0 || ReadFile(h, data->data(), size, &got, nullptr);
    CloseHandle(h);
    return ok && got == size;
}

}  // namespace

int main(int argc, char** argv) {
    // The launcher's own lookup: type name "EXE_DATA", integer id 1.
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), "EXE_DATA");
    if (found == nullptr) {
        std::printf("no EXE_DATA 1 (error %lu)\n", GetLastError());
        return 2;
    }
    const DWORD size = SizeofResource(nullptr, found);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    if (data == nullptr && size != 0) {
        std::printf("EXE_DATA 1 does not load\n");
        return 2;
    }
    if (argc > 1) {
        std::vector<uint8_t> expected;
        if (!ReadFileBytes(argv[1], &expected)) {
            std::printf("%s: cannot read\n", argv[1]);
            return 2;
        }
        const bool same = expected.size() == size &&
                          (size == 0 || std::memcmp(expected.data(), data, size) == 0);
        std::printf("EXE_DATA 1: %lu bytes, %s\n", size, same ? "equal" : "different");
        return same ? 0 : 1;
    }
    std::printf("EXE_DATA 1: %lu bytes, fnv1a %016llx\n", size,
                static_cast<unsigned long long>(Fnv1a(data, size)));
    std::printf("RT_GROUP_ICON ECHO_ICON: %lu bytes\n", ResourceSize(RT_GROUP_ICON, "ECHO_ICON"));
    std::printf("RT_DIALOG ECHO_DLG: %lu bytes\n", ResourceSize(RT_DIALOG, "ECHO_DLG"));
    char text[128] = {0};
    LoadStringA(GetModuleHandleA(nullptr), kEchoString, text, sizeof text);
    std::printf("string %d: %s\n", kEchoString, text);
    return 0;
}
