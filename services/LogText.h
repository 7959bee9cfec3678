// The diagnostic texts of the process start and the dialog start: a fixed
// prefix followed by a system error code in signed decimal, as "%d" writes
// it ("Erreur CreateProcess 2").
#ifndef VEL_SERVICES_LOGTEXT_H
#define VEL_SERVICES_LOGTEXT_H

#include <cstdint>

// Writes prefix and code into buffer, cut to capacity - 1 characters and
// terminated. Returns the length written.
int32_t FormatLogText(char* buffer, int32_t capacity, const char* prefix, int32_t code);

#endif
