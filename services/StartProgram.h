// Starting another program, and waiting for it while the launcher's own
// windows stay alive.
#ifndef VEL_SERVICES_STARTPROGRAM_H
#define VEL_SERVICES_STARTPROGRAM_H

#include <windows.h>

#include <cstdint>

class WAIT_PUMP;

// ERROR_ELEVATION_REQUIRED, which the headers of the oldest systems we run
// on do not name.
const DWORD kErrorElevationRequired = 740;

// *started of StartProgram for a program that the shell started without
// handing back its process: nothing to wait for.
const int32_t kStartedUnfollowed = 2;

// CreateProcessA's signature: what StartProgram makes its process with.
using ProcessCreator = BOOL(WINAPI*)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                     BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                                     LPPROCESS_INFORMATION);

// Owner of a started program's process handle, for a caller that waits
// later than the start (the launcher lets go of its folder in between).
class H_PROCESS {
public:
    H_PROCESS() : handle(nullptr) {}
    H_PROCESS(const H_PROCESS&) = delete;
    H_PROCESS& operator=(const H_PROCESS&) = delete;
    ~H_PROCESS() { Close(); }

    // Waits for the program to end, pump (null: none) serving the queue for
    // 100 ms between two looks at it; its exit code. Without a process: 1,
    // as a start without wait answers.
    uint32_t Wait(WAIT_PUMP* pump);
    void Close();

    HANDLE handle;  // null while there is none
};

// Starts application (a full path) as a process of the given creation
// flags (DETACHED_PROCESS: no console; 0: a console program gets one of its
// own, as WinExec gives it) in the launcher's current directory and
// environment. commandLine may be null (the system
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
// it is started again through the shell's "open" verb (ShellExecuteExA),
// which asks the user, with the arguments of commandLine; it is then waited
// for, or kept, in the same way.
//
// *started (when given) tells a program that did not start (0) from one that
// ended with exit code 0 (1), and from one that the shell started without
// handing its process back (kStartedUnfollowed; the answer is then 1).
// create makes the process: CreateProcessA, or in tests one that fails as
// Windows would, or that notes what it was given. With wait 0 and kept
// given, the started process goes to kept, for a later Wait.
uint32_t StartProgram(const char* application, char* commandLine, int32_t wait, WAIT_PUMP* pump,
                      int32_t* started = nullptr, ProcessCreator create = CreateProcessA,
                      H_PROCESS* kept = nullptr, uint32_t flags = DETACHED_PROCESS);

#endif
