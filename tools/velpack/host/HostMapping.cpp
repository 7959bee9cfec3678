#include "tools/velpack/host/HostMapping.h"

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/host/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/velpack/host/HostFolder.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

HostMapping::HostMapping() : data_(nullptr), size_(0) {}

HostMapping::~HostMapping() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
}

bool HostMapping::Map(const std::string& path, std::string* error) {
    // The view keeps the file open: the file's own handle goes at the end
    // of the call, whatever happens.
    const Win32Handle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return SystemFailure(error);
    LARGE_INTEGER n;
    if (!GetFileSizeEx(file.Get(), &n)) return SystemFailure(error);
    // An empty file cannot be mapped at all.
    if (n.QuadPart == 0) return true;
    mapping_.Reset(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping_.Valid()) return SystemFailure(error);
    data_ = static_cast<const uint8_t*>(MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0));
    if (data_ == nullptr) return SystemFailure(error);
    size_ = static_cast<size_t>(n.QuadPart);
    return true;
}

#else

HostMapping::HostMapping() : data_(nullptr), size_(0) {}

HostMapping::~HostMapping() {
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
}

bool HostMapping::Map(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemFailure(error);
    struct stat info;
    bool ok = fstat(fd, &info) == 0 || SystemFailure(error);
    if (ok && !S_ISREG(info.st_mode)) ok = Fail(error, "not a regular file");
    // The mapping keeps the file open; an empty file cannot be mapped at
    // all.
    if (ok && info.st_size > 0) {
        void* view = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (view == MAP_FAILED) {
            ok = SystemFailure(error);
        } else {
            data_ = static_cast<const uint8_t*>(view);
            size_ = static_cast<size_t>(info.st_size);
        }
    }
    close(fd);
    return ok;
}

#endif
