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

}  // namespace

CtBlockRing::CtBlockRing(int32_t count, int32_t size)
    : size(size),
      memory_(Fits(count, size) ? count * size : 0, CtMem::kUnset),
      slots_(),
      count_(count),
      filled_(0),
      taken_(0),
      free_(Fits(count, size) ? CreateSemaphoreA(nullptr, count, count, nullptr) : nullptr),
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
    const HANDLE waits[2] = {abandoned_, free_};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return nullptr;
    return &slots_[filled_];
}

void CtBlockRing::Put() {
    filled_ = (filled_ + 1) % count_;
    ReleaseSemaphore(full_, 1, nullptr);
}

void CtBlockRing::Finish() {
    SetEvent(finished_);
}

const CtBlockRing::Slot* CtBlockRing::Take() {
    // The slots put come first: the end is seen once they are all taken.
    const HANDLE waits[2] = {full_, finished_};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return nullptr;
    return &slots_[taken_];
}

void CtBlockRing::Give() {
    taken_ = (taken_ + 1) % count_;
    ReleaseSemaphore(free_, 1, nullptr);
}

void CtBlockRing::Abandon() {
    SetEvent(abandoned_);
}
