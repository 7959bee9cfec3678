// The names Windows keeps for devices: a file of such a name is never made,
// the device is opened instead ("con.txt" is the console). The launcher
// refuses to write or run them, and velpack refuses to pack them.
#ifndef VEL_SERVICES_DEVICENAME_H
#define VEL_SERVICES_DEVICENAME_H

#include <cstdint>

// 1 when the length bytes at part (one path component, Windows-1252, not
// terminated) name a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9,
// LPT0-LPT9, and COM and LPT with a superscript 1, 2 or 3, in any case,
// alone or before an extension, blanks before the extension ignored.
int32_t IsDeviceName(const char* part, int32_t length);

#endif
