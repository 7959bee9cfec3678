#include "tools/velpack/host/HostFile.h"

#include <system_error>

#include "tools/velpack/host/FileTimes.h"

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

HostFile::HostFile() : handle_(INVALID_HANDLE_VALUE) {}

HostFile::~HostFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool HostFile::Fail() {
    error_ = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
}

namespace {
HANDLE OpenWide(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
    return CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                       flags, nullptr);
}
}  // namespace

bool HostFile::OpenRead(const std::string& path) {
    handle_ = OpenWide(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    return handle_ != INVALID_HANDLE_VALUE || Fail();
}

bool HostFile::CreateReplace(const std::string& path) {
    // A reparse point in the name's place is opened as itself, not
    // followed to wherever it points.
    DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        error_ = "a link is in its place; not followed";
        return false;
    }
    handle_ = OpenWide(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    return handle_ != INVALID_HANDLE_VALUE || Fail();
}

bool HostFile::CreateNew(const std::string& path, bool) {
    handle_ = OpenWide(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    return handle_ != INVALID_HANDLE_VALUE || Fail();
}

bool HostFile::Size(uint64_t* size) {
    LARGE_INTEGER n;
    if (!GetFileSizeEx(handle_, &n)) return Fail();
    *size = static_cast<uint64_t>(n.QuadPart);
    return true;
}

bool HostFile::ReadSome(uint64_t offset, uint8_t* data, size_t want, size_t* got) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    // The end of the file is an error with an offset, not a read of 0.
    if (!ReadFile(handle_, data, static_cast<DWORD>(want), &n, &at) &&
        GetLastError() != ERROR_HANDLE_EOF) {
        return Fail();
    }
    *got = n;
    return true;
}

bool HostFile::WriteSome(const uint8_t* data, size_t want, size_t* put) {
    DWORD n = 0;
    if (!WriteFile(handle_, data, static_cast<DWORD>(want), &n, nullptr)) return Fail();
    *put = n;
    return true;
}

bool HostFile::GetWriteTime(uint64_t* fileTime) {
    FILETIME t;
    if (!GetFileTime(handle_, nullptr, nullptr, &t)) return Fail();
    *fileTime = static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    return true;
}

bool HostFile::SetWriteTime(uint64_t fileTime) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(fileTime);
    t.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    return SetFileTime(handle_, nullptr, nullptr, &t) || Fail();
}

bool HostFile::Close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const BOOL ok = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok || Fail();
}

#else

HostFile::HostFile() : fd_(-1) {}

HostFile::~HostFile() {
    if (fd_ >= 0) close(fd_);
}

bool HostFile::Fail() {
    error_ = std::generic_category().message(errno);
    return false;
}

bool HostFile::OpenRead(const std::string& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0 || Fail();
}

bool HostFile::CreateReplace(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno == ELOOP) {
        error_ = "a symbolic link is in its place; not followed";
        return false;
    }
    return fd_ >= 0 || Fail();
}

bool HostFile::CreateNew(const std::string& path, bool executable) {
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, executable ? 0777 : 0666);
    return fd_ >= 0 || Fail();
}

bool HostFile::Size(uint64_t* size) {
    struct stat s;
    if (fstat(fd_, &s) != 0) return Fail();
    *size = static_cast<uint64_t>(s.st_size);
    return true;
}

bool HostFile::ReadSome(uint64_t offset, uint8_t* data, size_t want, size_t* got) {
    ssize_t n;
    do {
        n = pread(fd_, data, want, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Fail();
    *got = static_cast<size_t>(n);
    return true;
}

bool HostFile::WriteSome(const uint8_t* data, size_t want, size_t* put) {
    ssize_t n;
    do {
        n = write(fd_, data, want);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Fail();
    *put = static_cast<size_t>(n);
    return true;
}

bool HostFile::GetWriteTime(uint64_t* fileTime) {
    struct stat s;
    if (fstat(fd_, &s) != 0) return Fail();
    if (!FileTimeFromUnix(s.st_mtim.tv_sec, static_cast<uint32_t>(s.st_mtim.tv_nsec), fileTime)) {
        error_ = "modification time lies before 1601";
        return false;
    }
    return true;
}

bool HostFile::SetWriteTime(uint64_t fileTime) {
    int64_t seconds;
    uint32_t nanoseconds;
    UnixFromFileTime(fileTime, &seconds, &nanoseconds);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = static_cast<long>(nanoseconds);
    return futimens(fd_, times) == 0 || Fail();
}

bool HostFile::Close() {
    if (fd_ < 0) return true;
    const int r = close(fd_);
    fd_ = -1;
    return r == 0 || Fail();
}

#endif

bool HostFile::ReadAll(std::vector<uint8_t>* data) {
    uint64_t size = 0;
    if (!Size(&size)) return false;
    data->resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < data->size()) {
        const size_t want = data->size() - done < kChunk ? data->size() - done : kChunk;
        size_t got = 0;
        if (!ReadSome(done, data->data() + done, want, &got)) return false;
        if (got == 0) break;  // the file shrank while being read
        done += got;
    }
    data->resize(done);
    return true;
}

bool HostFile::Write(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t want = size - done < kChunk ? size - done : kChunk;
        size_t put = 0;
        if (!WriteSome(data + done, want, &put)) return false;
        if (put == 0) {
            error_ = "the system wrote nothing";
            return false;
        }
        done += put;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    HostFile file;
    if (!file.OpenRead(path) || !file.ReadAll(data)) {
        *error = file.Error();
        return false;
    }
    return true;
}
