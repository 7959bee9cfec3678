// A memory block of at least 256 bytes, zero-filled unless asked otherwise,
// held for the life of the object.
//
// On Windows the block comes from the local heap, movable and locked once, so
// that the data pointer stays the same until destruction; the host build uses
// the C allocator with the same guarantees. A block may be missing (size 0
// asked, a size out of range, or the memory exhausted): users test Held()
// before they touch data.
#ifndef VEL_ARCHIVE_CTMEM_H
#define VEL_ARCHIVE_CTMEM_H

#include <cstdint>

class CtMem {
public:
    // What a new block holds: zeros, or whatever the allocator leaves (for a
    // block that is written before it is read).
    enum Fill { kZeroed, kUnset };

    // n = 0 makes an object without a block; any other n asks for
    // max(n, 256) bytes. A negative n, or one so large that a caller's
    // "size + 256" would not fit in 32 signed bits, gets no block.
    explicit CtMem(int32_t n, Fill fill = kZeroed);
    virtual ~CtMem();

    CtMem(const CtMem&) = delete;
    CtMem& operator=(const CtMem&) = delete;

    bool Held() const { return data != nullptr; }

    // size + spare, or -1 when size is negative or the sum leaves the 32-bit
    // signed range. Callers write CtMem block(CtMem::Padded(size, 10)) and
    // get no block instead of a wrapped, too small one.
    static int32_t Padded(int32_t size, int32_t spare);

    // The largest n that gets a block: callers add up to 256 to entry sizes.
    static const int32_t kMaxRequest = INT32_MAX - 256;

    void* handle;   // local-memory handle on Windows, the allocation on the host
    int32_t size;   // bytes in the block, meaningful while one is held
    uint8_t* data;  // first byte of the block; null without one
};

#endif
