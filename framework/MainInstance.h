// The application instance: the module's instance handle, the application
// name (the caption of every message box) and the result code, and the
// process-wide current instance through which the other parts reach them,
// the application's CanQuit and its timed message pump.
#ifndef VEL_FRAMEWORK_MAININSTANCE_H
#define VEL_FRAMEWORK_MAININSTANCE_H

#include <windows.h>

#include <cstdint>

#include "services/WaitPump.h"

// PumpFor comes from WAIT_PUMP, so the virtual operations keep their order:
// PumpFor, then CanQuit.
class MAIN_INSTANCE : public WAIT_PUMP {
public:
    // Becomes the current instance. A current instance that exists already
    // is a programming error, shown as "Création multiple MAIN_INSTANCE "
    // under the earlier instance's name; the new one replaces it all the same.
    explicit MAIN_INSTANCE(HINSTANCE instance);
    MAIN_INSTANCE(const MAIN_INSTANCE&) = delete;
    MAIN_INSTANCE& operator=(const MAIN_INSTANCE&) = delete;

    // Does nothing here; the application object pumps (MAIN::PumpFor).
    void PumpFor(int32_t milliseconds) override;
    // Whether the program may end: asked on WM_CLOSE of the main window and
    // WM_QUERYENDSESSION of every window.
    virtual int32_t CanQuit();

    HINSTANCE instance;
    char name[80];
    int32_t resultCode;  // the process exit code

    static MAIN_INSTANCE* Current;

protected:
    // Teardown: no current instance any more. The owner builds and tears the
    // application object down itself; it is never deleted through this base.
    ~MAIN_INSTANCE();
};

// The current instance's instance handle, or null without one.
HINSTANCE CurrentInstanceHandle();

// The current instance's CanQuit; 1 (the program may end) without one.
int32_t CurrentInstanceCanQuit();

// MessageBoxA with the current instance's name as caption (none without a
// current instance).
int32_t AppMessageBox(const char* text, uint32_t type, HWND owner);

// MessageBoxA owned by window. A given text is first copied into the shared
// 256-byte message buffer (cut to 255 characters); without text the buffer's
// previous content is shown again, under the current caption.
int32_t ShowMessage(HWND window, const char* text, uint32_t type);

#endif
