// Starting another program, and waiting for it while the launcher's own
// windows stay alive.
#ifndef VEL_SERVICES_STARTPROGRAM_H
#define VEL_SERVICES_STARTPROGRAM_H

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
class WAIT_PUMP;
uint32_t StartProgram(const char* application, char* commandLine, int32_t wait,
                      WAIT_PUMP* pump);

#endif
