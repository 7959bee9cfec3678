// Starting another program, and waiting for it while the launcher's own
// windows stay alive.
#ifndef VEL_SERVICES_STARTPROGRAM_H
#define VEL_SERVICES_STARTPROGRAM_H

#include <windows.h>

#include <cstdint>

// Starts application (a full path) as a detached process in the launcher's
// current directory and environment. commandLine may be null (the system
// then builds one from application); like CreateProcessA's, it must be
// writable. 0 when the process did not start ("Erreur CreateProcess %d" goes
// to log channels 101 and 0); 1 when it started and wait is 0; else the
// exit code of the program, which may itself be 0.
//
// While waiting, pump (the application; null: none) serves the message
// queue for 100 ms between two looks at the process, so handlers run nested
// inside this call.
//
// When Windows refuses to start a program that asks for elevation
// (ERROR_ELEVATION_REQUIRED: a program named like an installer, or one
// whose manifest requires it, started by a program that is not elevated),
// it is started again through the shell, which asks the user; the result is
// then StartThroughShell's.
//
// *started (when given) tells a program that did not start (0) from one that
// ended with exit code 0. create makes the process: CreateProcessA, or in
// tests one that fails as Windows would.
class WAIT_PUMP;
// ERROR_ELEVATION_REQUIRED, which the headers of the oldest systems we run
// on do not name.
const DWORD kErrorElevationRequired = 740;
using ProcessCreator = BOOL(WINAPI*)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                     BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                                     LPPROCESS_INFORMATION);
uint32_t StartProgram(const char* application, char* commandLine, int32_t wait, WAIT_PUMP* pump,
                      int32_t* started = nullptr, ProcessCreator create = CreateProcessA);

// Starts file with parameters (null or empty: none) through the shell's
// "open" verb, which asks the user for elevation when the program needs
// it, in the current directory. 0 when it did not start (logged as
// StartProgram's failures are); 1 when it started and wait is 0; else the
// program's exit code, waited for as StartProgram waits.
uint32_t StartThroughShell(const char* file, const char* parameters, int32_t wait,
                           WAIT_PUMP* pump, int32_t* started = nullptr);

#endif
