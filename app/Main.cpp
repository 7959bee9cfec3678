#include "app/Main.h"

#include "app/MainFenetre.h"
#include "services/Text.h"

MAIN* MAIN::CurrentApplication = nullptr;
int32_t MAIN::QuitSeen = 0;

namespace {
// Requests of the single-instance protocol (wParam of the channel message).
const WPARAM kRequestShow = 1;
const WPARAM kRequestHandOver = 2;
const WPARAM kRequestAnswer = 256;
const WPARAM kRequestWhoRuns = 0xFFFF;

HWND CurrentMainWindow() {
    MAIN* app = MAIN::CurrentApplication;
    return app != nullptr && app->mainWindow != nullptr ? app->mainWindow->window : nullptr;
}
}  // namespace

MAIN::MAIN(const char* name, HINSTANCE instance, HINSTANCE previousInstance,
           const char* commandLine, int32_t showCommand)
    : MAIN_INSTANCE(instance),
      APPLI_MSG(name),
      modelessDialog(nullptr),
      previousInstance(previousInstance),
      showCommand(showCommand),
      commandLine(commandLine),
      accelerators(nullptr),
      earlierWindow(nullptr),
      mainWindow(nullptr) {
    TextCopy(this->MAIN_INSTANCE::name, name, sizeof this->MAIN_INSTANCE::name, nullptr);
    CurrentApplication = this;
}

MAIN::~MAIN() { CurrentApplication = nullptr; }

int32_t MAIN::WantsSingleInstance() { return 0; }
int32_t MAIN::PrepareHandOver(uint32_t*) { return 0; }

void MAIN::ShowMainWindow(uint32_t) {
    if (mainWindow == nullptr) return;
    ShowWindow(mainWindow->window, ShowCommand());
    SetActiveWindow(mainWindow->window);
}

void MAIN::TakeHandOver(uint32_t) {}
void MAIN::RegisterClasses() { RegisterWindowClasses(instance); }
int32_t MAIN::InitInstance() { return CreateMainWindow(); }

int32_t MAIN::CreateMainWindow() {
    mainWindow = new MAIN_FENETRE(MAIN_INSTANCE::name);
    mainWindow->Create();
    ShowWindow(mainWindow->window, showCommand);
    return 0;
}

int32_t MAIN::ShowCommand() { return SW_SHOW; }

void MAIN::OnMessage(MessageRecord* record) {
    HWND own = CurrentMainWindow();
    switch (record->wParam) {
        case kRequestWhoRuns: {
            HWND asking = reinterpret_cast<HWND>(record->lParam);
            if (asking != own) {
                SendMessageA(asking, messageNumber, kRequestAnswer,
                             reinterpret_cast<LPARAM>(own));
            }
            break;
        }
        case kRequestAnswer:
            if (reinterpret_cast<HWND>(record->lParam) != record->window) {
                earlierWindow = reinterpret_cast<HWND>(record->lParam);
            }
            break;
        case kRequestShow: ShowMainWindow(static_cast<uint32_t>(record->lParam)); break;
        case kRequestHandOver: TakeHandOver(static_cast<uint32_t>(record->lParam)); break;
        default: break;
    }
}

void MAIN::Run() {
    if (previousInstance == nullptr) RegisterClasses();
    InitInstance();
    // Without a window nothing would ever post the quit message: the loop
    // would wait forever, invisibly.
    if (CurrentMainWindow() == nullptr) {
        resultCode = kNoMainWindowResult;
        delete mainWindow;
        mainWindow = nullptr;
        return;
    }
    earlierWindow = nullptr;
    // The earlier copies answer during the broadcast itself.
    if (WantsSingleInstance() != 0) AnnouncePresence();
    if (earlierWindow == nullptr) {
        MessageLoop();
    } else {
        uint32_t value = 0;
        if (PrepareHandOver(&value) != 0) {
            PostMessageA(earlierWindow, messageNumber, kRequestHandOver, value);
        } else {
            PostMessageA(earlierWindow, messageNumber, kRequestShow, 0);
            HWND own = CurrentMainWindow();
            if (own != nullptr) DestroyWindow(own);
        }
    }
    if (mainWindow != nullptr) {
        delete mainWindow;
        mainWindow = nullptr;
    }
}

void MAIN::AnnouncePresence() {
    SendMessageA(HWND_BROADCAST, messageNumber, kRequestWhoRuns,
                 reinterpret_cast<LPARAM>(CurrentMainWindow()));
}

void MAIN::TranslateAndDispatch(MSG* message) {
    // A message translated as an accelerator is still dispatched; only
    // TranslateMessage is skipped for it.
    HWND target = mainWindow != nullptr ? mainWindow->window : nullptr;
    if (accelerators == nullptr || TranslateAcceleratorA(target, accelerators, message) == 0) {
        TranslateMessage(message);
    }
    DispatchMessageA(message);
}

void MAIN::MessageLoop() {
    MSG message = {};
    for (;;) {
        // A nested pump that took the quit message has set the flag: the
        // queue may stay empty from now on, so look before waiting on it.
        if (QuitSeen != 0) break;
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) break;
        // An error leaves nothing to dispatch; the loop goes on.
        if (got == -1) continue;
        if (QuitSeen != 0) break;
        if (modelessDialog != nullptr && IsDialogMessageA(modelessDialog, &message)) continue;
        TranslateAndDispatch(&message);
    }
}

int32_t MAIN::PumpPending() {
    MSG message;
    // Taken in one call: the message a look with PM_NOREMOVE and a
    // GetMessageA would take, without GetMessageA ever waiting.
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        // The modeless dialog's message ends the pass; what is still queued
        // waits for the next one.
        if (modelessDialog != nullptr && IsDialogMessageA(modelessDialog, &message)) break;
        TranslateAndDispatch(&message);
        if (message.message == WM_QUIT) QuitSeen = 1;
    }
    return 1;
}

void MAIN::PumpFor(int32_t milliseconds) {
    // Measured on the tick count, which the system clock does not move:
    // ClockMs follows the time of day, and a step back of it would count as
    // a day gone (or, within a second, as the whole 32-bit range).
    const DWORD start = GetTickCount();
    for (;;) {
        PumpPending();
        if (milliseconds <= 0) return;
        const uint32_t elapsed = GetTickCount() - start;
        if (elapsed >= static_cast<uint32_t>(milliseconds)) return;
        // Sleeps until a message comes (MWMO_INPUTAVAILABLE: also one that
        // was seen but left in the queue) or the time is up, rather than
        // spinning over the queue: a launcher that waits for a long program
        // must not keep a processor busy.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<uint32_t>(milliseconds) - elapsed,
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}
