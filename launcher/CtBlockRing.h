// A ring of blocks between two threads: one fills them, the other empties
// them, in the order they were filled. Each side waits on a semaphore when
// the ring is full or empty, so neither turns in a loop; the emptier may
// give up (the filler's next wait answers at once), and the filler says
// when nothing more comes. The blocks are taken once: the memory does not
// grow with what passes through.
//
// Each semaphore goes with a count kept by interlocked operations, and is
// only waited on or released when the count says that a side has to sleep
// or is asleep: under Wine every wait and release is a round trip to
// another process, and a block passed without either costs none.
#ifndef VEL_LAUNCHER_CTBLOCKRING_H
#define VEL_LAUNCHER_CTBLOCKRING_H

#include <windows.h>

#include <cstdint>

#include "archive/CtMem.h"

class CtBlockRing {
public:
    // A block and what the filler says with it: length bytes of data (0 to
    // size), and whether they end something, with a result and an error
    // code of the filler's own.
    struct Slot {
        uint8_t* data;
        int32_t length;
        bool ends;
        int32_t result;
        uint32_t error;
    };

    // count blocks (1 to kMaxSlots) of size bytes each.
    CtBlockRing(int32_t count, int32_t size);
    ~CtBlockRing();

    CtBlockRing(const CtBlockRing&) = delete;
    CtBlockRing& operator=(const CtBlockRing&) = delete;

    // Whether the memory and the semaphores could be had.
    bool Ready() const;

    // The filler's side. The next free slot, waiting for one; null once the
    // emptier has given up. Put hands the slot just filled on.
    Slot* Free();
    void Put();
    // Nothing more comes: the emptier's Take answers null once it has taken
    // every slot put before.
    void Finish();

    // The emptier's side. The next slot put, waiting for one; null once the
    // filler has finished and every slot is taken. Give hands it back.
    const Slot* Take();
    void Give();
    // The emptier gives up: the filler's Free answers null from now on.
    void Abandon();

    static const int32_t kMaxSlots = 16;
    const int32_t size;  // the bytes of each block

private:
    CtMem memory_;
    Slot slots_[kMaxSlots];
    int32_t count_;
    int32_t filled_;  // the filler's next slot
    int32_t taken_;   // the emptier's next slot
    // The slots each side may have, less one for each side asleep on its
    // semaphore (then below 0), which the other side releases.
    LONG freeCount_;
    LONG fullCount_;
    LONG abandonedFlag_;  // Abandon was called: Free answers null at once
    HANDLE free_;     // semaphore: wakes a filler waiting for a free slot
    HANDLE full_;     // semaphore: wakes an emptier waiting for a full one
    HANDLE finished_;  // event: the filler is done
    HANDLE abandoned_;  // event: the emptier gave up
};

#endif
