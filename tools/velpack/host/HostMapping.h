// A file of the host mapped into memory for reading, by its UTF-8 path: its
// pages come from the system's file cache as they are first read, with no
// copy and no memory of the process's own to fill. The file must not shrink
// while it is mapped (a page past its new end cannot be read).
#ifndef VEL_VELPACK_HOSTMAPPING_H
#define VEL_VELPACK_HOSTMAPPING_H

#include <cstddef>
#include <cstdint>
#include <string>

class HostMapping {
public:
    HostMapping();
    ~HostMapping();
    HostMapping(const HostMapping&) = delete;
    HostMapping& operator=(const HostMapping&) = delete;

    // Maps path whole, once; an empty file gives no bytes. false with
    // Error() set when the file cannot be opened or mapped.
    bool Map(const std::string& path);

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

    // The system's text for the last failure.
    const std::string& Error() const { return error_; }

private:
    bool Fail();

    const uint8_t* data_;
    size_t size_;
#ifdef _WIN32
    void* mapping_;
#endif
    std::string error_;
};

#endif
