// A Win32 handle closed when its owner ends: kernel objects such as files,
// file mappings, processes and pipes, whose failed opening gives either
// null or INVALID_HANDLE_VALUE.
#ifndef VEL_VELPACK_WIN32HANDLE_H
#define VEL_VELPACK_WIN32HANDLE_H

#ifdef _WIN32
#include <windows.h>

class Win32Handle {
public:
    explicit Win32Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Win32Handle() { Close(); }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;

    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

    // Takes handle in place of the one held, which is closed.
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }

    // Closes the handle now: false, with GetLastError() set, when the
    // system reports a failure (a write it only finishes then).
    bool Close() {
        if (!Valid()) return true;
        const BOOL ok = CloseHandle(handle_);
        handle_ = nullptr;
        return ok != 0;
    }

private:
    HANDLE handle_;
};

#endif

#endif
