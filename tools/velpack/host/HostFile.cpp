#include "tools/velpack/host/HostFile.h"

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/host/FileTimes.h"
#include "tools/velpack/host/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/velpack/host/HostFolder.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {
// Reads and writes go in pieces that every system takes in one call.
const size_t kChunk = size_t{1} << 30;
}  // namespace

#ifdef _WIN32

HostFile::HostFile() {}

HostFile::~HostFile() {}

namespace {
HANDLE OpenWide(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
    return CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                       flags, nullptr);
}
}  // namespace

bool HostFile::OpenRead(const std::string& path, std::string* error) {
    handle_.Reset(OpenWide(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    return handle_.Valid() || SystemFailure(error);
}

bool HostFile::CreateReplace(const std::string& path, std::string* error) {
    // A reparse point in the name's place is opened as itself, not
    // followed to wherever it points.
    DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return Fail(error, "a link is in its place; not followed");
    }
    handle_.Reset(OpenWide(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    return handle_.Valid() || SystemFailure(error);
}

bool HostFile::CreateNew(const std::string& path, bool, std::string* error) {
    handle_.Reset(OpenWide(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    return handle_.Valid() || SystemFailure(error);
}

bool HostFile::Size(uint64_t* size, std::string* error) {
    LARGE_INTEGER n;
    if (!GetFileSizeEx(handle_.Get(), &n)) return SystemFailure(error);
    *size = static_cast<uint64_t>(n.QuadPart);
    return true;
}

bool HostFile::ReadSome(uint64_t offset, uint8_t* data, size_t want, size_t* got,
                        std::string* error) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    // The end of the file is an error with an offset, not a read of 0.
    if (!ReadFile(handle_.Get(), data, static_cast<DWORD>(want), &n, &at) &&
        GetLastError() != ERROR_HANDLE_EOF) {
        return SystemFailure(error);
    }
    *got = n;
    return true;
}

bool HostFile::WriteSome(const uint8_t* data, size_t want, size_t* put, std::string* error) {
    DWORD n = 0;
    if (!WriteFile(handle_.Get(), data, static_cast<DWORD>(want), &n, nullptr)) return SystemFailure(error);
    *put = n;
    return true;
}

bool HostFile::GetWriteTime(uint64_t* fileTime, std::string* error) {
    FILETIME t;
    if (!GetFileTime(handle_.Get(), nullptr, nullptr, &t)) return SystemFailure(error);
    *fileTime = static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    return true;
}

bool HostFile::SetWriteTime(uint64_t fileTime, std::string* error) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(fileTime);
    t.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    return SetFileTime(handle_.Get(), nullptr, nullptr, &t) || SystemFailure(error);
}

bool HostFile::Close(std::string* error) {
    return handle_.Close() || SystemFailure(error);
}

#else

HostFile::HostFile() : fd_(-1) {}

HostFile::~HostFile() {
    if (fd_ >= 0) close(fd_);
}

bool HostFile::OpenRead(const std::string& path, std::string* error) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0 || SystemFailure(error);
}

bool HostFile::CreateReplace(const std::string& path, std::string* error) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == ELOOP) {
        return Fail(error, "a symbolic link is in its place; not followed");
    }
    return fd_ >= 0 || SystemFailure(error);
}

bool HostFile::CreateNew(const std::string& path, bool executable, std::string* error) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, executable ? 0777 : 0666);
    return fd_ >= 0 || SystemFailure(error);
}

bool HostFile::Size(uint64_t* size, std::string* error) {
    struct stat s;
    if (fstat(fd_, &s) != 0) return SystemFailure(error);
    *size = static_cast<uint64_t>(s.st_size);
    return true;
}

bool HostFile::ReadSome(uint64_t offset, uint8_t* data, size_t want, size_t* got,
                        std::string* error) {
    ssize_t n;
    do {
        n = pread(fd_, data, want, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return SystemFailure(error);
    *got = static_cast<size_t>(n);
    return true;
}

bool HostFile::WriteSome(const uint8_t* data, size_t want, size_t* put, std::string* error) {
    ssize_t n;
    do {
        n = write(fd_, data, want);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return SystemFailure(error);
    *put = static_cast<size_t>(n);
    return true;
}

bool HostFile::GetWriteTime(uint64_t* fileTime, std::string* error) {
    struct stat s;
    if (fstat(fd_, &s) != 0) return SystemFailure(error);
    if (!FileTimeFromUnix(s.st_mtim.tv_sec, static_cast<uint32_t>(s.st_mtim.tv_nsec), fileTime)) {
        return Fail(error, "modification time lies before 1601");
    }
    return true;
}

bool HostFile::SetWriteTime(uint64_t fileTime, std::string* error) {
    int64_t seconds;
    uint32_t nanoseconds;
    UnixFromFileTime(fileTime, &seconds, &nanoseconds);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    return futimens(fd_, times) == 0 || SystemFailure(error);
}

bool HostFile::Close(std::string* error) {
    if (fd_ < 0) return true;
    const int r = close(fd_);
    fd_ = -1;
    return r == 0 || SystemFailure(error);
}

#endif

bool HostFile::ReadAll(std::vector<uint8_t>* data, std::string* error) {
    uint64_t size = 0;
    if (!Size(&size, error)) return false;
    data->resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < data->size()) {
        const size_t want = data->size() - done < kChunk ? data->size() - done : kChunk;
        size_t got = 0;
        if (!ReadSome(done, data->data() + done, want, &got, error)) return false;
        if (got == 0) break;  // the file shrank while being read
        done += got;
    }
    data->resize(done);
    return true;
}

bool HostFile::Write(const uint8_t* data, size_t size, std::string* error) {
    size_t done = 0;
    while (done < size) {
        const size_t want = size - done < kChunk ? size - done : kChunk;
        size_t put = 0;
        if (!WriteSome(data + done, want, &put, error)) return false;
        if (put == 0) {
            return Fail(error, "the system wrote nothing");
        }
        done += put;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    HostFile file;
    return file.OpenRead(path, error) && file.ReadAll(data, error);
}
