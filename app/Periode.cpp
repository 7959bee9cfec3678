#include "app/Periode.h"

namespace {
const uint32_t kSecondsPerDay = 86400;
}  // namespace

int32_t ClockFromTimeOfDay(uint32_t* lastSeconds, uint32_t hour, uint32_t minute,
                           uint32_t second, uint32_t milliseconds) {
    uint32_t s = hour * 3600 + minute * 60 + second;
    if (s < *lastSeconds) {
        s += ((*lastSeconds - s + kSecondsPerDay - 1) / kSecondsPerDay) * kSecondsPerDay;
    }
    *lastSeconds = s;
    // Wraps modulo 2^32 after about 49 days; ClockElapsed allows for it.
    return static_cast<int32_t>(s * 1000u + milliseconds);
}

uint32_t ClockElapsed(int32_t start, int32_t now) {
    return static_cast<uint32_t>(now) - static_cast<uint32_t>(start);
}

#ifdef _WIN32
uint32_t ClockLastSeconds = 0;

int32_t ClockMs() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return ClockFromTimeOfDay(&ClockLastSeconds, t.wHour, t.wMinute, t.wSecond,
                              t.wMilliseconds);
}
#endif

PERIODE* PERIODE::First = nullptr;

PERIODE::PERIODE(int32_t reloadCount)
    : next(First), reloadCount(reloadCount), countdown(reloadCount) {
    First = this;
}

PERIODE::~PERIODE() {
    for (PERIODE** link = &First; *link != nullptr; link = &(*link)->next) {
        if (*link == this) {
            *link = next;
            return;
        }
    }
}

void PERIODE::Tick(MessageRecord* record) {
    PERIODE* p = First;
    while (p != nullptr) {
        // Read before the call: an object may detach itself when called.
        PERIODE* following = p->next;
        // A countdown found at 0 goes below it and only comes back to 0
        // after wrapping through the whole 32-bit range; the wrap is taken
        // in unsigned arithmetic.
        p->countdown = static_cast<int32_t>(static_cast<uint32_t>(p->countdown) - 1u);
        if (p->countdown == 0) {
            p->countdown = p->reloadCount;
            p->OnPeriod(record);
        }
        p = following;
    }
}

#ifdef _WIN32
void CALLBACK PERIODE::TimerProc(HWND window, UINT message, UINT_PTR timer, DWORD time) {
    MessageRecord record = {window, message, timer, static_cast<LPARAM>(time), 0, false};
    Tick(&record);
}
#endif
