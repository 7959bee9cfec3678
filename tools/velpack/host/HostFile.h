// One open file of the host, by its UTF-8 path, with the modification time
// as a FILETIME. POSIX descriptors on the host, wide-character Win32 handles
// on Windows (so that any name opens, not only those of the ANSI code page).
#ifndef VEL_VELPACK_HOSTFILE_H
#define VEL_VELPACK_HOSTFILE_H

#include <cstdint>
#include <string>
#include <vector>

class HostFile {
public:
    HostFile();
    ~HostFile();
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    bool OpenRead(const std::string& path);
    // Creates the file or empties the one that is there. A symbolic link
    // in its place is not followed (the open fails), so that a write never
    // lands outside the folder it was meant for.
    bool CreateReplace(const std::string& path);
    // Creates a file that must not exist yet; executable asks for the
    // execute permissions where the host has them.
    bool CreateNew(const std::string& path, bool executable);

    // Size of the open file; reads it whole from its start.
    bool Size(uint64_t* size);
    bool ReadAll(std::vector<uint8_t>* data);
    bool Write(const uint8_t* data, size_t size);
    bool GetWriteTime(uint64_t* fileTime);
    bool SetWriteTime(uint64_t fileTime);
    // Closes, reporting a failure of the close itself (a write that the
    // system only finishes then).
    bool Close();

    // The system's text for the last failure.
    const std::string& Error() const { return error_; }

private:
    bool Fail();
    // One system call's worth: a read at offset (0 bytes at the end) and a
    // write at the file position.
    bool ReadSome(uint64_t offset, uint8_t* data, size_t want, size_t* got);
    bool WriteSome(const uint8_t* data, size_t want, size_t* put);

#ifdef _WIN32
    void* handle_;
#else
    int fd_;
#endif
    std::string error_;
};

// Reads path whole; error gets the system's text on failure.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data, std::string* error);

#endif
