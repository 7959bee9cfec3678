// The message number of a channel name.
//
// On Windows this is RegisterWindowMessageA: one number per name in the
// session, the same for every process, case-insensitive, from 0xC000 up.
// Elsewhere (host builds of the portable channel code) a process-wide table
// gives the same answers within the process. 0 means the name could not be
// registered (null or empty, or the host table is full).
#ifndef VEL_APP_CHANNELREGISTRY_H
#define VEL_APP_CHANNELREGISTRY_H

#include <cstdint>

uint32_t RegisterChannelMessage(const char* name);

#endif
