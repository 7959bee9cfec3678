#include "launcher/CtBlockRing.h"

namespace {

// A count and a size whose blocks the ring can hold: their product fits a
// block of memory.
bool Fits(int32_t count, int32_t size) {
    return count >= 1 && count <= CtBlockRing::kMaxSlots && size >= 1 &&
           size <= CtMem::kMaxRequest / CtBlockRing::kMaxSlots;
}

void CloseIfOpen(HANDLE handle) {
    if (handle != nullptr) CloseHandle(handle);
}

// Takes one of count, sleeping on wake (or woken by end) when there is none:
// false when end woke it.
bool Acquire(LONG* count, HANDLE wake, HANDLE end) {
    if (InterlockedDecrement(count) >= 0) return true;
    // The wake comes first: what was released before the end is taken.
    const HANDLE waits[2] = {wake, end};
    return WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
}

// Gives one back, waking the side asleep for it.
void Release(LONG* count, HANDLE wake) {
    if (InterlockedIncrement(count) <= 0) ReleaseSemaphore(wake, 1, nullptr);
}

}  // namespace

CtBlockRing::CtBlockRing(int32_t count, int32_t size)
    : size(size),
      memory_(Fits(count, size) ? count * size : 0, CtMem::kUnset),
      slots_(),
      count_(count),
      filled_(0),
      taken_(0),
      freeCount_(count),
      fullCount_(0),
      abandonedFlag_(0),
      free_(Fits(count, size) ? CreateSemaphoreA(nullptr, 0, count, nullptr) : nullptr),
      full_(Fits(count, size) ? CreateSemaphoreA(nullptr, 0, count, nullptr) : nullptr),
      finished_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      abandoned_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!memory_.Held()) return;
    for (int32_t i = 0; i < count_; ++i) slots_[i].data = memory_.data + i * size;
}

CtBlockRing::~CtBlockRing() {
    CloseIfOpen(free_);
    CloseIfOpen(full_);
    CloseIfOpen(finished_);
    CloseIfOpen(abandoned_);
}

bool CtBlockRing::Ready() const {
    return memory_.Held() && free_ != nullptr && full_ != nullptr && finished_ != nullptr &&
           abandoned_ != nullptr;
}

CtBlockRing::Slot* CtBlockRing::Free() {
    // The emptier's giving up comes first: a filler that still finds free
    // slots stops all the same.
    if (InterlockedCompareExchange(&abandonedFlag_, 0, 0) != 0) return nullptr;
    // Woken by the giving up, the filler stops; the slot it counted on is
    // nobody's any more.
    if (!Acquire(&freeCount_, free_, abandoned_)) return nullptr;
    return &slots_[filled_];
}

void CtBlockRing::Put() {
    filled_ = (filled_ + 1) % count_;
    Release(&fullCount_, full_);
}

void CtBlockRing::Finish() {
    SetEvent(finished_);
}

const CtBlockRing::Slot* CtBlockRing::Take() {
    if (!Acquire(&fullCount_, full_, finished_)) return nullptr;
    return &slots_[taken_];
}

void CtBlockRing::Give() {
    taken_ = (taken_ + 1) % count_;
    Release(&freeCount_, free_);
}

void CtBlockRing::Abandon() {
    InterlockedExchange(&abandonedFlag_, 1);
    SetEvent(abandoned_);
}
