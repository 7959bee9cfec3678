#include "services/HFile.h"

#include "services/InfoTime.h"
#include "services/Text.h"

H_FILE::H_FILE() : handle(INVALID_HANDLE_VALUE), path{}, bytesWritten(0), lastError(0) {}

H_FILE::~H_FILE() { Close(); }

void H_FILE::Close() {
    if (handle == INVALID_HANDLE_VALUE) return;
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

int32_t H_FILE::Open(const char* path, uint32_t disposition, uint32_t access) {
    Close();
    // No path is refused, not taken for the previous file's (which
    // CREATE_ALWAYS would empty).
    if (path == nullptr || path[0] == 0) {
        this->path[0] = 0;
        lastError = ERROR_INVALID_NAME;
        return 0;
    }
    if (TextLength(path) >= static_cast<int32_t>(sizeof this->path)) {
        this->path[0] = 0;
        lastError = ERROR_FILENAME_EXCED_RANGE;
        return 0;
    }
    TextCopy(this->path, path, sizeof this->path, nullptr);
    handle = CreateFileA(this->path, access, FILE_SHARE_READ, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastError = GetLastError();
        return 0;
    }
    return 1;
}

uint32_t H_FILE::Write(const void* buffer, int32_t length) {
    if (handle == INVALID_HANDLE_VALUE) return 0;
    if (length == -1) length = TextLength(static_cast<const char*>(buffer));
    if (length < 0) return 0;
    DWORD written = 0;
    if (!WriteFile(handle, buffer, static_cast<DWORD>(length), &written, nullptr)) {
        lastError = GetLastError();
    }
    bytesWritten = written;
    return bytesWritten;
}

void H_FILE::SetWriteTime(const char* info, int32_t length) {
    uint32_t low = 0;
    uint32_t high = 0;
    if (ReadInfoTime(info, length, &low, &high) == 0) return;
    // Without an open file there is nothing to set (the invalid handle value
    // is also the pseudo-handle of the current process).
    if (handle == INVALID_HANDLE_VALUE) return;
    FILETIME written;
    written.dwLowDateTime = low;
    written.dwHighDateTime = high;
    SetFileTime(handle, nullptr, nullptr, &written);
}
