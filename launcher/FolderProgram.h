// Starting a program that the extraction wrote into its folder: the
// "AutoInst_" program and install.exe.
#ifndef VEL_LAUNCHER_FOLDERPROGRAM_H
#define VEL_LAUNCHER_FOLDERPROGRAM_H

#include <cstdint>

#include "services/StartProgram.h"

// Starts folder\name (folder with or without its trailing backslash)
// through StartProgram (wait, pump, *started, create, kept and flags as
// there). Its command line is its path, quoted, then, when arguments is
// neither null nor empty, one blank and arguments exactly as they are:
// install.exe gets the launcher's own arguments, the "AutoInst_" program
// none. Quoted, because temporary folders hold blanks ("C:\Users\Jean
// Dupont\..."): a program would split its own path there, and for a bare
// path Windows would first try to run "C:\Users\Jean.exe"; and so the
// program gets the same command line whether it was started directly or
// through the shell. 0, nothing started, when the path does not fit 256
// bytes.
uint32_t StartFromFolder(const char* folder, const char* name, const char* arguments,
                         int32_t wait, WAIT_PUMP* pump, int32_t* started,
                         ProcessCreator create = CreateProcessA, H_PROCESS* kept = nullptr,
                         uint32_t flags = DETACHED_PROCESS);

#endif
