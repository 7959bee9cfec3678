// Progress of a long operation on stderr, only when stderr is a terminal and
// only once the operation has taken more than a second: short runs and
// redirected output stay quiet.
#ifndef VEL_VELPACK_PROGRESS_H
#define VEL_VELPACK_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    // what: "packing", "testing"...; total: the bytes the operation handles.
    Progress(const std::string& what, uint64_t total);
    // Erases the progress line, if one was shown.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // done bytes of total are handled.
    void Show(uint64_t done);

private:
    std::string what_;
    uint64_t total_;
    bool terminal_;
    bool shown_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

#endif
