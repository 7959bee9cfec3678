#include "tools/velpack/host/SystemError.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

std::string LastSystemError() {
#ifdef _WIN32
    return std::system_category().message(static_cast<int>(GetLastError()));
#else
    return std::generic_category().message(errno);
#endif
}

bool SystemFailure(std::string* error) {
    *error = LastSystemError();
    return false;
}
