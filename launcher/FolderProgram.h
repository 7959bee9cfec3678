// Starting a program that the extraction wrote into its folder: the
// "AutoInst_" program and install.exe.
#ifndef VEL_LAUNCHER_FOLDERPROGRAM_H
#define VEL_LAUNCHER_FOLDERPROGRAM_H

#include <cstdint>

#include "services/StartProgram.h"

// The capacities of FolderCommand's path and command: a 256-byte path, and
// that path quoted with a blank and the launcher's whole command line (511).
const int32_t kFolderPathCapacity = 256;
const int32_t kFolderCommandCapacity = kFolderPathCapacity + 2 + 1 + 512;

// path := folder\name (folder with or without its trailing backslash);
// command := that path, quoted, then, when arguments is neither null nor
// empty, one blank and arguments exactly as they are. Both programs are
// started with such a command line: install.exe with the launcher's own
// arguments, the "AutoInst_" program with none. Quoted, because temporary
// folders hold blanks ("C:\Users\Jean Dupont\..."): a program would split
// its own path there, and for a bare path Windows would first try to run
// "C:\Users\Jean.exe"; and so the program gets the same command line
// whether it was started directly or through the shell. 0 when the path
// does not fit.
int32_t FolderCommand(const char* folder, const char* name, const char* arguments, char* path,
                      char* command);

// Starts folder\name with FolderCommand's command line through StartProgram
// (wait, pump, *started and create as there); 0, nothing started, when the
// path does not fit.
uint32_t StartFromFolder(const char* folder, const char* name, const char* arguments,
                         int32_t wait, WAIT_PUMP* pump, int32_t* started,
                         ProcessCreator create = CreateProcessA);

#endif
