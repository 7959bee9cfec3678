#include "archive/CtWide.h"

#if defined(_WIN32) && defined(__i386__)
#include <windows.h>
#elif defined(__i386__)
#include <cpuid.h>
#endif

CtWide::Path CtWide::Fastest() {
#if defined(__SSE2__)
    // Every processor the build runs on has SSE2 (x86-64).
    return kVectors;
#elif defined(_WIN32) && defined(__i386__)
    // The system's answer, which also says that it saves the vector
    // registers across threads; a read of its shared page, not an
    // instruction that a hypervisor traps.
    return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? kVectors : kWords;
#elif defined(__i386__)
    unsigned int a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2) != 0 ? kVectors : kWords;
#else
    return kWords;
#endif
}
