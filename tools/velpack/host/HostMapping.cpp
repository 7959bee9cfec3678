#include "tools/velpack/host/HostMapping.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "tools/velpack/host/HostFolder.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#ifdef _WIN32

HostMapping::HostMapping() : data_(nullptr), size_(0), mapping_(nullptr) {}

HostMapping::~HostMapping() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
}

bool HostMapping::Fail() {
    error_ = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
}

bool HostMapping::Map(const std::string& path) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail();
    LARGE_INTEGER n;
    if (!GetFileSizeEx(file, &n)) {
        Fail();
        CloseHandle(file);
        return false;
    }
    // The view keeps the file open; an empty file cannot be mapped at all.
    if (n.QuadPart > 0) mapping_ = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const bool mapped = n.QuadPart == 0 || mapping_ != nullptr;
    if (!mapped) Fail();
    CloseHandle(file);
    if (!mapped) return false;
    if (mapping_ == nullptr) return true;
    data_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (data_ == nullptr) return Fail();
    size_ = static_cast<size_t>(n.QuadPart);
    return true;
}

#else

HostMapping::HostMapping() : data_(nullptr), size_(0) {}

HostMapping::~HostMapping() {
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
}

bool HostMapping::Fail() {
    error_ = std::system_category().message(errno);
    return false;
}

bool HostMapping::Map(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail();
    struct stat info;
    bool ok = fstat(fd, &info) == 0 || Fail();
    if (ok && !S_ISREG(info.st_mode)) {
        error_ = "not a regular file";
        ok = false;
    }
    // The mapping keeps the file open; an empty file cannot be mapped at
    // all.
    if (ok && info.st_size > 0) {
        void* view = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (view == MAP_FAILED) {
            ok = Fail();
        } else {
            data_ = static_cast<const uint8_t*>(view);
            size_ = static_cast<size_t>(info.st_size);
        }
    }
    close(fd);
    return ok;
}

#endif
