// Modification times as the archive carries them: Win32 FILETIME values,
// 100-nanosecond intervals since 1601-01-01 UTC, in an unsigned 64-bit.
#ifndef VEL_VELPACK_FILETIMES_H
#define VEL_VELPACK_FILETIMES_H

#include <cstdint>
#include <string>

// Seconds between 1601-01-01 and 1970-01-01.
const int64_t kFileTimeUnixOffset = 11644473600;

// false for a time before 1601, which a FILETIME cannot hold.
bool FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds, uint64_t* fileTime);
void UnixFromFileTime(uint64_t fileTime, int64_t* seconds, uint32_t* nanoseconds);

// ISO 8601 in UTC: 2024-05-01T12:00:00Z, with the fraction of a second
// (seven digits) only when there is one.
std::string IsoFromFileTime(uint64_t fileTime);

#endif
