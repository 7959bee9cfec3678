// velpack's messages, in the form of Unix command-line tools:
//   velpack: <file>: <what is wrong>
#ifndef VEL_VELPACK_DIAGNOSTICS_H
#define VEL_VELPACK_DIAGNOSTICS_H

#include <string>

// Exit codes.
enum : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// "velpack: <subject>: <message>" on stderr; an empty subject is left out.
void Complain(const std::string& subject, const std::string& message);

// "velpack: warning: <subject>: <message>" on stderr.
void Warn(const std::string& subject, const std::string& message);

#endif
