// A file of the host mapped into memory for reading, by its UTF-8 path: its
// pages come from the system's file cache as they are first read, with no
// copy and no memory of the process's own to fill. The file must not shrink
// while it is mapped (a page past its new end cannot be read).
#ifndef VEL_VELPACK_HOSTMAPPING_H
#define VEL_VELPACK_HOSTMAPPING_H

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include "tools/velpack/host/Win32Handle.h"
#endif

class HostMapping {
public:
    HostMapping();
    ~HostMapping();
    HostMapping(const HostMapping&) = delete;
    HostMapping& operator=(const HostMapping&) = delete;

    // Maps path whole, once; an empty file gives no bytes. false, with the
    // system's text in *error, when the file cannot be opened or mapped.
    bool Map(const std::string& path, std::string* error);

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    const uint8_t* data_;
    size_t size_;
#ifdef _WIN32
    Win32Handle mapping_;
#endif
};

#endif
