// A program of its own: the quit-seen flag is never cleared in a process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Main.h"
#include "app/MainFenetre.h"
#include "tests/framework/GuiTestSupport.h"

namespace {

std::vector<std::string> Journal;

// Command 400 takes a quit message in a nested pump, then posts command 401,
// which the main loop must not dispatch.
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
        PostMessageA(window, WM_COMMAND, 401, 0);
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

TEST(QuitSeen, ANestedPumpsQuitEndsTheMainLoopAtItsNextMessage) {
    GuiGuard guard;
    EXPECT_EQ(MAIN::QuitSeen, 0);
    NestingApp app;
    app.Run();
    EXPECT_FALSE(guard.expired);
    EXPECT_EQ(Journal,
              (std::vector<std::string>{"DoCommand 400", "quit seen 1", "loop ended"}));
    EXPECT_EQ(MAIN::QuitSeen, 1);
    // The loop ended without closing anything: the window is still there,
    // without its object, which Run deleted.
    ASSERT_TRUE(IsWindow(app.window));
    EXPECT_EQ(GetWindowLongPtrA(app.window, 0), 0);
    EXPECT_EQ(FindWindowObject(app.window), nullptr);
    SendMessageA(app.window, WM_COMMAND, 402, 0);  // default handling, no object
    EXPECT_EQ(Journal.size(), 3u);
    DestroyWindow(app.window);
}

}  // namespace
