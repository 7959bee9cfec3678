// One window or dialog message as every handler of the framework sees it.
//
// The window or dialog procedure builds it on its own stack for one message
// and passes it by pointer to the handlers, the message channels and the
// periodic objects. A handler answers by writing result; a window handler that
// leaves callDefault set gets DefWindowProcA's answer returned instead.
// Windows start with result 0, dialogs with 1 (TRUE: "processed").
//
// The types are pointer-sized where Win32's are, so that the record carries a
// brush handle or a pointer unchanged in 64-bit builds too; outside Windows
// (the portable channel and timer code, and its host tests) they stand in
// with the same sizes.
#ifndef VEL_FRAMEWORK_MESSAGERECORD_H
#define VEL_FRAMEWORK_MESSAGERECORD_H

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
using MessageWindow = HWND;
using MessageWParam = WPARAM;
using MessageLParam = LPARAM;
using MessageResult = LRESULT;
#else
using MessageWindow = void*;
using MessageWParam = uintptr_t;
using MessageLParam = intptr_t;
using MessageResult = intptr_t;
#endif

struct MessageRecord {
    MessageWindow window;
    uint32_t message;
    MessageWParam wParam;
    MessageLParam lParam;
    MessageResult result;
    bool callDefault;
};

#endif
