// The application object: the running program's start sequence, its main
// window, its main message loop and the pumps that long operations call to
// keep the windows alive.
//
// It is also a message channel under its own name, through which copies of
// a program built on this framework find each other (the single-instance
// protocol): a new copy broadcasts request 0xFFFF with its main window; an
// earlier copy answers at once with request 256 carrying its own main window;
// the new copy then hands over (request 2 with a value) or asks the earlier
// one to show itself (request 1), and does not run its loop.
//
// Re-entrance: handlers pump through PumpFor, so a WM_QUIT may be taken by a
// nested pump. That pump sets the process-wide quit-seen flag, and the main
// loop ends at the next message it receives, without dispatching it.
#ifndef VEL_APP_MAIN_H
#define VEL_APP_MAIN_H

#include <windows.h>

#include <cstdint>

#include "app/AppliMsg.h"
#include "framework/MainInstance.h"

class MAIN_FENETRE;

class MAIN : public MAIN_INSTANCE, public APPLI_MSG {
public:
    // The name is the channel's name and the first application name.
    MAIN(const char* name, HINSTANCE instance, HINSTANCE previousInstance,
         const char* commandLine, int32_t showCommand);

    // Pumps for at least milliseconds (one pass for 0 or less), sleeping
    // between passes until a message comes or the time is up. The time is
    // the system's tick count, which setting the clock does not change.
    void PumpFor(int32_t milliseconds) override;

    // Operations appended to MAIN_INSTANCE's, in order.
    virtual int32_t WantsSingleInstance();
    // Nonzero to hand value over to an earlier copy instead of showing it.
    virtual int32_t PrepareHandOver(uint32_t* value);
    virtual void ShowMainWindow(uint32_t value);
    virtual void TakeHandOver(uint32_t value);
    virtual void RegisterClasses();
    // Answers what CreateMainWindow answered; Run does not look at it.
    virtual int32_t InitInstance();
    // Creates the main window, titled with the application name, and shows it
    // with the start-up show command.
    virtual int32_t CreateMainWindow();
    virtual void MessageLoop();
    virtual int32_t ShowCommand();

    // The single-instance protocol, for messages of this channel's number.
    void OnMessage(MessageRecord* record) override;

    // Classes, instance, the single-instance check, the loop; then deletes
    // the main window. Called once. When InitInstance left no main window
    // (it could not be made), the loop is not entered and resultCode is
    // kNoMainWindowResult.
    void Run();
    static constexpr int32_t kNoMainWindowResult = 6;
    // Dispatches every message waiting now. Always 1.
    int32_t PumpPending();
    // Broadcasts request 0xFFFF with the main window.
    void AnnouncePresence();

    HWND modelessDialog;  // offered each message first when set
    HINSTANCE previousInstance;
    int32_t showCommand;
    const char* commandLine;  // the start-up's text, not a copy
    HACCEL accelerators;
    HWND earlierWindow;  // an earlier copy's main window, learnt by the protocol
    MAIN_FENETRE* mainWindow;

    static MAIN* CurrentApplication;
    static int32_t QuitSeen;

protected:
    // Teardown: no current application, the channel out of the list, no
    // current instance, in this order.
    ~MAIN();

private:
    // Translation and dispatch of one message taken from the queue.
    void TranslateAndDispatch(MSG* message);
};

#endif
