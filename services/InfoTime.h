// The last-write time an archive entry's information text carries.
//
// Two lines of the text hold the halves of a Win32 FILETIME in decimal:
// "DWCL=" the low 32 bits, "DWCH=" the high 32 bits. Each key is looked for
// with the line break before it ("\r\nDWCL="), without regard to case, so
// neither may stand on the first line.
#ifndef VEL_SERVICES_INFOTIME_H
#define VEL_SERVICES_INFOTIME_H

#include <cstdint>

extern const char kInfoTimeLowKey[];   // "\r\nDWCL="
extern const char kInfoTimeHighKey[];  // "\r\nDWCH="

// Reads both halves from info (length 0: the text's own length). Returns 0,
// with low and high untouched, when neither key carries a value: the file
// then keeps the time the system gave it. Else 1, a missing or unreadable
// half taken as 0. Values are cut to their first 15 characters first.
int32_t ReadInfoTime(const char* info, int32_t length, uint32_t* low, uint32_t* high);

// Decimal conversion of one value: blanks skipped, one optional sign, digits
// accumulated modulo 2^32 up to the first non-digit, negated for "-". So
// "4294967295" and "-1" give the same 32 bits; no digits give 0.
uint32_t InfoTimeValue(const char* text);

#endif
