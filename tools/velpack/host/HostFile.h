// One open file of the host, by its UTF-8 path, with the modification time
// as a FILETIME. POSIX descriptors on the host, wide-character Win32 handles
// on Windows (so that any name opens, not only those of the ANSI code page).
// Each call answers false with the system's text in *error when it fails.
#ifndef VEL_VELPACK_HOSTFILE_H
#define VEL_VELPACK_HOSTFILE_H

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include "tools/velpack/host/Win32Handle.h"
#endif

class HostFile {
public:
    HostFile();
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    bool OpenRead(const std::string& path, std::string* error);
    // Creates the file or empties the one that is there. A symbolic link
    // in its place is not followed (the open fails), so that a write never
    // lands outside the folder it was meant for.
    bool CreateReplace(const std::string& path, std::string* error);
    // Creates a file that must not exist yet; executable asks for the
    // execute permissions where the host has them.
    bool CreateNew(const std::string& path, bool executable, std::string* error);

    // Size of the open file; reads it whole from its start.
    bool Size(uint64_t* size, std::string* error);
    bool ReadAll(std::vector<uint8_t>* data, std::string* error);
    bool Write(const uint8_t* data, size_t size, std::string* error);
    bool GetWriteTime(uint64_t* fileTime, std::string* error);
    bool SetWriteTime(uint64_t fileTime, std::string* error);
    // Closes, reporting a failure of the close itself (a write that the
    // system only finishes then).
    bool Close(std::string* error);

private:
    // One system call's worth: a read at offset (0 bytes at the end) and a
    // write at the file position.
    bool ReadSome(uint64_t offset, uint8_t* data, size_t want, size_t* got, std::string* error);
    bool WriteSome(const uint8_t* data, size_t want, size_t* put, std::string* error);

#ifdef _WIN32
    Win32Handle handle_;
#else
    int fd_;
#endif
};

// Reads path whole.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error);

#endif
