// A program of its own: the quit-seen flag is never cleared in a process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Main.h"
#include "app/MainFenetre.h"
#include "tests/framework/GuiTestSupport.h"

namespace {

std::vector<std::string> Journal;

// Command 400 takes a quit message in a nested pump; nothing else comes to
// the queue afterwards.
class NestingWindow : public MAIN_FENETRE {
public:
    NestingWindow() : MAIN_FENETRE("nesting") {}
    void OnCreated() override { PostMessageA(window, WM_COMMAND, 400, 0); }
    void DoCommand(MessageRecord* record) override {
        const int command = LOWORD(record->wParam);
        Journal.push_back("DoCommand " + std::to_string(command));
        if (command != 400) return;
        PostQuitMessage(0);
        MAIN::CurrentApplication->PumpFor(0);
        Journal.push_back("quit seen " + std::to_string(MAIN::QuitSeen));
    }
};

class NestingApp final : public MAIN {
public:
    NestingApp() : MAIN("VelQuitSeenTest", GetModuleHandleA(nullptr), nullptr, "", SW_HIDE) {}
    int32_t CreateMainWindow() override {
        mainWindow = new NestingWindow();
        window = mainWindow->Create();
        return 0;
    }
    void MessageLoop() override {
        MAIN::MessageLoop();
        Journal.push_back("loop ended");
    }
    HWND window = nullptr;
};

// Wakes the main thread with a message if its loop has not ended after a
// few seconds: a loop that waits on the empty queue would wait forever.
// (No GuiGuard here: its timer's messages would wake the loop.)
struct Watchdog {
    explicit Watchdog(DWORD mainThread) : mainThread(mainThread) {
        ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        Stop();
        CloseHandle(thread);
        CloseHandle(ended);
    }
    // Ends the watch; true when it had to wake the loop.
    bool Stop() {
        SetEvent(ended);
        WaitForSingleObject(thread, INFINITE);
        return woke;
    }
    static DWORD WINAPI Watch(void* self) {
        Watchdog* w = static_cast<Watchdog*>(self);
        if (WaitForSingleObject(w->ended, 5000) == WAIT_TIMEOUT) {
            w->woke = true;
            PostThreadMessageA(w->mainThread, WM_NULL, 0, 0);
        }
        return 0;
    }
    DWORD mainThread;
    HANDLE ended;
    HANDLE thread;
    volatile bool woke = false;
};

TEST(QuitSeen, ANestedPumpsQuitEndsTheMainLoopBeforeItWaits) {
    EXPECT_EQ(MAIN::QuitSeen, 0);
    NestingApp app;
    {
        Watchdog watchdog(GetCurrentThreadId());
        app.Run();
        EXPECT_FALSE(watchdog.Stop());
    }
    EXPECT_EQ(Journal,
              (std::vector<std::string>{"DoCommand 400", "quit seen 1", "loop ended"}));
    EXPECT_EQ(MAIN::QuitSeen, 1);
    // The loop ended without closing anything: the window is still there,
    // without its object, which Run deleted.
    ASSERT_TRUE(IsWindow(app.window));
    EXPECT_EQ(GetWindowLongPtrA(app.window, 0), 0);
    EXPECT_EQ(FindWindowObject(app.window), nullptr);
    SendMessageA(app.window, WM_COMMAND, 401, 0);  // default handling, no object
    EXPECT_EQ(Journal.size(), 3u);
    DestroyWindow(app.window);
}

}  // namespace
