// The millisecond clock of the timed pump, and the periodic timer.
//
// ClockMs counts milliseconds from midnight (UTC) of the day of its first
// reading and keeps rising across later midnights: a reading whose time of
// day lies before the previous one is lifted by the fewest whole days that
// bring it back to at least the previous one. Setting the system clock back
// is taken the same way, as a jump forward of nearly a day.
//
// PERIODE::TimerProc drives the list of periodic objects from a platform
// timer: on each tick every object counts down and, when its count reaches 0,
// is re-armed and called. The launcher attaches no object and starts no
// timer; the procedure is exported for programs that do.
#ifndef VEL_APP_PERIODE_H
#define VEL_APP_PERIODE_H

#include <cstdint>

#include "framework/MessageRecord.h"

// One reading from a time of day. lastSeconds is the clock state: the seconds
// part of the previous reading after the midnight correction (0 at start).
int32_t ClockFromTimeOfDay(uint32_t* lastSeconds, uint32_t hour, uint32_t minute,
                           uint32_t second, uint32_t milliseconds);

// Milliseconds from reading start to reading now. Readings wrap after 2^32
// ms (and turn negative after 2^31), so the difference is taken modulo 2^32.
uint32_t ClockElapsed(int32_t start, int32_t now);

#ifdef _WIN32
// The process's clock over GetSystemTime, and its state (lastSeconds).
int32_t ClockMs();
extern uint32_t ClockLastSeconds;
#endif

class PERIODE {
public:
    // Attaches the object at the head of the periodic list, due after
    // reloadCount ticks.
    explicit PERIODE(int32_t reloadCount);
    PERIODE(const PERIODE&) = delete;
    PERIODE& operator=(const PERIODE&) = delete;

    virtual void OnPeriod(MessageRecord* record) = 0;

    // One tick for every object of the list.
    static void Tick(MessageRecord* record);
#ifdef _WIN32
    // A TIMERPROC: builds the record (timer identifier in wParam, the tick's
    // time in lParam) and ticks the list.
    static void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timer, DWORD time);
#endif

    PERIODE* next;
    int32_t reloadCount;  // ticks between two calls
    int32_t countdown;    // ticks left until the next call

    static PERIODE* First;

protected:
    // Detaches the object. Owners tear their objects down themselves.
    ~PERIODE();
};

#endif
