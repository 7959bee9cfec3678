// Another program run to its end, for the tools velpack drives (the
// Authenticode signer). No shell comes between: each argument reaches the
// program as it is given, whatever characters it holds.
#ifndef VEL_VELPACK_CHILDPROCESS_H
#define VEL_VELPACK_CHILDPROCESS_H

#include <string>
#include <vector>

// What a program that ran said and how it ended.
struct ChildOutcome {
    int exitCode = -1;   // 128 + the signal's number for a program killed by one
    std::string output;  // its standard output and error, interleaved as written
};

// Runs program with arguments and waits for it. A program named without a
// folder is looked for on PATH (on Windows as NAME.exe). Its standard input
// is the null device and it has no terminal or console to ask anything on,
// so a program that wants an answer fails instead of waiting for one.
// false, with *error "not found" or the system's text, when it cannot be
// started.
bool RunChild(const std::string& program, const std::vector<std::string>& arguments,
              ChildOutcome* outcome, std::string* error);

// The words for a program that cannot be started.
extern const char kChildNotFound[];

#ifdef _WIN32
// The command line that hands arguments to a program over the rules of
// CommandLineToArgvW and the C runtime: each one quoted where it must be,
// with the backslashes before a quote doubled.
std::wstring WindowsCommandLine(const std::vector<std::wstring>& arguments);
#endif

#endif
