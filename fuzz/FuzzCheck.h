// What every fuzz target shares: a failed check stops the run where
// libFuzzer (and the replay) catch it.
#ifndef VEL_FUZZ_FUZZCHECK_H
#define VEL_FUZZ_FUZZCHECK_H

#include <cstddef>
#include <cstdint>

inline void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The capacity that the codec targets read from their first two bytes
// (little-endian, 0 to 65535).
inline int32_t CapacityOf(const uint8_t* data) {
    return data[0] | data[1] << 8;
}

#endif
