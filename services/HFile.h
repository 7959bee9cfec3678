// Owner of one open file: opens or creates it by path, writes a buffer to it,
// sets its last-write time from an archive entry's information text, and
// closes it when it goes out of scope.
#ifndef VEL_SERVICES_HFILE_H
#define VEL_SERVICES_HFILE_H

#include <windows.h>

#include <cstdint>

class H_FILE {
public:
    H_FILE();
    H_FILE(const H_FILE&) = delete;
    H_FILE& operator=(const H_FILE&) = delete;
    virtual ~H_FILE();

    // CreateFileA with share mode FILE_SHARE_READ and FILE_ATTRIBUTE_NORMAL.
    // Nonzero when the file is open. A file already held is closed first.
    // A path that does not fit the 256-byte path buffer is refused whole
    // (ERROR_FILENAME_EXCED_RANGE), never cut into another file's path; a
    // null or empty one too (ERROR_INVALID_NAME).
    int32_t Open(const char* path, uint32_t disposition, uint32_t access);
    // One WriteFile of length bytes; length -1 writes the zero-terminated
    // text's length. Without an open file: 0, nothing recorded. The count
    // WriteFile reported.
    uint32_t Write(const void* buffer, int32_t length);
    // Last-write time from the "\r\nDWCL=" and "\r\nDWCH=" lines of info
    // (length 0: the text's own length). Without either line the file keeps
    // the time the system gave it.
    void SetWriteTime(const char* info, int32_t length);
    void Close();

    HANDLE handle;  // INVALID_HANDLE_VALUE while no file is open
    char path[256];
    uint32_t bytesWritten;
    uint32_t lastError;  // of the last open or write that failed; never cleared
};

#endif
