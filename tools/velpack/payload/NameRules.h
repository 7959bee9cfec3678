// What an entry name must be for the launcher to write it as it stands: a
// bare Windows file name in Windows-1252 that the launcher reads whole.
#ifndef VEL_VELPACK_NAMERULES_H
#define VEL_VELPACK_NAMERULES_H

#include <string>

#include "archive/CtFormat.h"

// The launcher asks for names with 64 bytes: 63 of them count.
const size_t kMaxNameBytes = kCtNameCapacity - 1;

// Empty when ansi is a file name that Windows creates under exactly this
// name in the extraction folder, else what is wrong with it. Folder parts,
// "." and "..", drive letters, reserved device names, characters Windows
// forbids, and a trailing dot or blank (which Windows drops) are refused.
// The length is not checked here.
std::string WindowsNameProblem(const std::string& ansi);

// The form in which two names that Windows takes for the same file are
// equal: letters of Windows-1252, accented ones included, folded to capitals.
std::string FoldedName(const std::string& ansi);

#endif
