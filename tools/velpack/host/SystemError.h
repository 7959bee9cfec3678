// The system's words for a failed call, for velpack's error convention
// (base/Failure.h).
#ifndef VEL_VELPACK_SYSTEMERROR_H
#define VEL_VELPACK_SYSTEMERROR_H

#include <string>
#include <system_error>

// The system's text for the last failure of this thread: errno, or
// GetLastError() on Windows.
std::string LastSystemError();

// The system's text for an error the standard library reports
// (std::filesystem).
std::string SystemErrorText(const std::error_code& code);

// *error = LastSystemError(); answers false, so that a wrapper reads
// `return call() == 0 || SystemFailure(error);`.
bool SystemFailure(std::string* error);

#endif
