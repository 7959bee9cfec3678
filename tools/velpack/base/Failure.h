// velpack's error convention. A step that can fail answers bool; on false it
// has put into the caller's std::string* error what went wrong, in words for
// the maker (the system's own for a system call), and the command prints it
// under the file it concerns: "velpack: FILE: WHAT". A caller that adds
// context puts it in front. Objects keep no error state of their own, and
// results carry data only.
//
// This room sits below every other of velpack: pe/ and host/ may include it.
#ifndef VEL_VELPACK_FAILURE_H
#define VEL_VELPACK_FAILURE_H

#include <string>

// *error = what; answers false, for `return Fail(error, "...");`.
inline bool Fail(std::string* error, const std::string& what) {
    *error = what;
    return false;
}

#endif
