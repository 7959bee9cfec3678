// velpack's output: UTF-8 text on stdout and stderr. On Windows a console
// is given the text as UTF-16 (WriteConsoleW), whatever its code page: the
// C runtime would hand it bytes that the console reads in its own code page
// (or, in some runtimes, in the ANSI code page), and names beyond those
// would come out garbled. Files and pipes get the UTF-8 bytes.
#ifndef VEL_VELPACK_TEXTOUTPUT_H
#define VEL_VELPACK_TEXTOUTPUT_H

#include <cstdio>
#include <string>

#if defined(__MINGW32__)
// The C++ runtime of MinGW formats as glibc does (%zu, %lld).
#define VEL_PRINTF_FORMAT __attribute__((format(gnu_printf, 2, 3)))
#else
#define VEL_PRINTF_FORMAT __attribute__((format(printf, 2, 3)))
#endif

// Writes text to stream (stdout or stderr).
void WriteText(std::FILE* stream, const std::string& text);

// printf to stream, through WriteText.
void Printf(std::FILE* stream, const char* format, ...) VEL_PRINTF_FORMAT;

#endif
