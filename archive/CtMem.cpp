#include "archive/CtMem.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace {
const int32_t kMinimumBlock = 256;
}

CtMem::CtMem(int32_t n, Fill fill) : handle(nullptr), size(0), data(nullptr) {
    if (n == 0 || n < 0 || n > kMaxRequest) return;
    const int32_t bytes = n > kMinimumBlock ? n : kMinimumBlock;
#ifdef _WIN32
    HLOCAL h = LocalAlloc(fill == kZeroed ? LMEM_MOVEABLE | LMEM_ZEROINIT : LMEM_MOVEABLE,
                          static_cast<SIZE_T>(bytes));
    if (h == nullptr) return;
    void* p = LocalLock(h);
    if (p == nullptr) {
        LocalFree(h);
        return;
    }
    handle = h;
    data = static_cast<uint8_t*>(p);
#else
    void* p = fill == kZeroed ? std::calloc(static_cast<size_t>(bytes), 1)
                              : std::malloc(static_cast<size_t>(bytes));
    if (p == nullptr) return;
    handle = p;
    data = static_cast<uint8_t*>(p);
#endif
    size = bytes;
}

CtMem::~CtMem() {
    if (handle == nullptr) return;
#ifdef _WIN32
    LocalUnlock(static_cast<HLOCAL>(handle));
    LocalFree(static_cast<HLOCAL>(handle));
#else
    std::free(handle);
#endif
}

int32_t CtMem::Padded(int32_t size, int32_t spare) {
    if (size < 0 || spare < 0 || size > INT32_MAX - spare) return -1;
    return size + spare;
}
