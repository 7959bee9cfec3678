#include "tools/velpack/HostFile.h"

#include <system_error>

#include "tools/velpack/FileTimes.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/velpack/HostFolder.h"
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

bool HostFile::ReadAll(std::vector<uint8_t>* data) {
    uint64_t size = 0;
    if (!Size(&size)) return false;
    data->resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < data->size()) {
        const size_t want = data->size() - done < kChunk ? data->size() - done : kChunk;
        DWORD got = 0;
        if (!ReadFile(handle_, data->data() + done, static_cast<DWORD>(want), &got, nullptr)) {
            return Fail();
        }
        if (got == 0) break;
        done += got;
    }
    data->resize(done);
    return true;
}

bool HostFile::Write(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t want = size - done < kChunk ? size - done : kChunk;
        DWORD put = 0;
        if (!WriteFile(handle_, data + done, static_cast<DWORD>(want), &put, nullptr)) {
            return Fail();
        }
        done += put;
    }
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

bool HostFile::ReadAll(std::vector<uint8_t>* data) {
    uint64_t size = 0;
    if (!Size(&size)) return false;
    data->resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < data->size()) {
        const size_t want = data->size() - done < kChunk ? data->size() - done : kChunk;
        const ssize_t got = pread(fd_, data->data() + done, want, static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    data->resize(done);
    return true;
}

bool HostFile::Write(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t want = size - done < kChunk ? size - done : kChunk;
        const ssize_t put = write(fd_, data + done, want);
        if (put < 0) {
            if (errno == EINTR) continue;
            return Fail();
        }
        done += static_cast<size_t>(put);
    }
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

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error) {
    HostFile file;
    if (!file.OpenRead(path) || !file.ReadAll(data)) {
        *error = file.Error();
        return false;
    }
    return true;
}
