#include "app/Main.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainFenetre.h"
#include "app/Periode.h"
#include "app/StaticObjects.h"
#include "tests/framework/GuiTestSupport.h"

namespace {

std::vector<std::string> Journal;

void Note(const std::string& entry) { Journal.push_back(entry); }

const char kCreation[] = "Cr\xE9" "ation multiple MAIN_INSTANCE ";

class NamedInstance final : public MAIN_INSTANCE {
public:
    explicit NamedInstance(const char* name) : MAIN_INSTANCE(GetModuleHandleA(nullptr)) {
        lstrcpynA(this->name, name, sizeof this->name);
    }
};

// A main window that notes what happens to it. With autoClose it runs like
// the launcher's: command 400 posted right after creation, then WM_CLOSE.
class NotingWindow : public MAIN_FENETRE {
public:
    NotingWindow(const char* title, bool autoClose) : MAIN_FENETRE(title), autoClose(autoClose) {}
    ~NotingWindow() override { Note("~window"); }
    void OnCreated() override {
        Note("OnCreated");
        if (autoClose) PostMessageA(window, WM_COMMAND, 400, 0);
    }
    void DoCommand(MessageRecord* record) override {
        Note("DoCommand " + std::to_string(LOWORD(record->wParam)));
        if (LOWORD(record->wParam) == 400) PostMessageA(window, WM_CLOSE, 0, 0);
    }
    void OnKeyDown(MessageRecord* record) override {
        Note("OnKeyDown " + std::to_string(record->wParam));
    }
    void OnChar(MessageRecord* record) override {
        Note("OnChar " + std::to_string(record->wParam));
    }
    void OnOtherMessage(MessageRecord* record) override {
        if (record->message == WM_USER + 7) Note("WM_USER+7");
        MAIN_FENETRE::OnOtherMessage(record);
    }
    void OnBeforeQuit() override { Note("OnBeforeQuit"); }
    bool autoClose;
};

class TestMain final : public MAIN {
public:
    explicit TestMain(bool ownWindow = true, int32_t show = SW_HIDE)
        : MAIN("VelMainTest", GetModuleHandleA(nullptr), nullptr, "cmd", show),
          ownWindow(ownWindow) {}
    void RegisterClasses() override {
        Note("RegisterClasses");
        MAIN::RegisterClasses();
    }
    int32_t InitInstance() override {
        Note("InitInstance");
        return MAIN::InitInstance();
    }
    int32_t CreateMainWindow() override {
        Note("CreateMainWindow");
        if (!ownWindow) return MAIN::CreateMainWindow();
        mainWindow = new NotingWindow(MAIN_INSTANCE::name, true);
        mainWindow->Create();
        return 0;
    }
    void MessageLoop() override {
        Note("MessageLoop");
        MAIN::MessageLoop();
        Note("loop ended");
    }
    void ShowMainWindow(uint32_t value) override {
        Note("ShowMainWindow");
        MAIN::ShowMainWindow(value);
    }
    void TakeHandOver(uint32_t value) override { Note("TakeHandOver " + std::to_string(value)); }
    int32_t ShowCommand() override { return SW_HIDE; }
    bool ownWindow;
};

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

class MainTest : public ::testing::Test {
protected:
    void SetUp() override { Journal.clear(); }
    GuiGuard guard;
};

TEST_F(MainTest, ASecondInstanceIsReportedUnderTheFirstOnesName) {
    {
        NamedInstance first("Premier");
        EXPECT_EQ(MAIN_INSTANCE::Current, &first);
        EXPECT_EQ(first.resultCode, 0);
        {
            NamedInstance second("Second");
            EXPECT_EQ(MAIN_INSTANCE::Current, &second);
        }
        EXPECT_EQ(MAIN_INSTANCE::Current, nullptr);
    }
    EXPECT_EQ(MAIN_INSTANCE::Current, nullptr);
    ASSERT_EQ(guard.boxes.size(), 1u);
    EXPECT_EQ(guard.boxes[0].caption, "Premier");
    EXPECT_EQ(guard.boxes[0].text, kCreation);
    EXPECT_EQ(guard.boxes[0].owner, nullptr);
}

TEST_F(MainTest, MessageBoxesCarryTheApplicationName) {
    NamedInstance instance("Velmar");
    EXPECT_EQ(AppMessageBox("Aucune information d'installation !", MB_OK, nullptr), IDOK);
    const std::string longText(300, 'x');
    ShowMessage(nullptr, longText.c_str(), MB_OK);
    lstrcpynA(instance.name, "Nouveau titre", sizeof instance.name);
    ShowMessage(nullptr, nullptr, MB_OK);  // the previous text again

    class Owner : public FENETRE {
    public:
        Owner() : FENETRE(nullptr, "owner", nullptr) { style = WS_POPUP; }
    };
    RegisterWindowClasses(GetModuleHandleA(nullptr));
    Owner* owner = new Owner();
    HWND h = owner->Create();
    owner->ShowMessage("owned", MB_OK);
    DestroyWindow(h);

    ASSERT_EQ(guard.boxes.size(), 4u);
    EXPECT_EQ(guard.boxes[0].caption, "Velmar");
    EXPECT_EQ(guard.boxes[0].text, "Aucune information d'installation !");
    EXPECT_EQ(guard.boxes[1].caption, "Velmar");
    EXPECT_EQ(guard.boxes[1].text, std::string(255, 'x'));
    EXPECT_EQ(guard.boxes[2].caption, "Nouveau titre");
    EXPECT_EQ(guard.boxes[2].text, std::string(255, 'x'));
    EXPECT_EQ(guard.boxes[3].text, "owned");
    EXPECT_EQ(guard.boxes[3].owner, h);
}

TEST_F(MainTest, ConstructionAndTeardown) {
    APPLI_MSG* const channels = APPLI_MSG::NewestChannel;
    {
        TestMain app;
        EXPECT_EQ(MAIN::CurrentApplication, &app);
        EXPECT_EQ(MAIN_INSTANCE::Current, &app);
        EXPECT_STREQ(app.MAIN_INSTANCE::name, "VelMainTest");
        EXPECT_EQ(APPLI_MSG::NewestChannel, &app);
        EXPECT_EQ(app.messageNumber, RegisterWindowMessageA("VelMainTest"));
        EXPECT_EQ(app.mainWindow, nullptr);
        EXPECT_STREQ(app.commandLine, "cmd");
        // A new title leaves the channel's name as registered.
        lstrcpynA(app.MAIN_INSTANCE::name, "Velmar Informatique", 80);
        EXPECT_STREQ(app.APPLI_MSG::name, "VelMainTest");
    }
    EXPECT_EQ(MAIN::CurrentApplication, nullptr);
    EXPECT_EQ(MAIN_INSTANCE::Current, nullptr);
    EXPECT_EQ(APPLI_MSG::NewestChannel, channels);
    EXPECT_EQ(APPLI_MSG::OldestChannel, &LogChannel);
}

TEST_F(MainTest, RunGoesFromTheClassesToTheQuitMessage) {
    {
        TestMain app;
        app.Run();
        EXPECT_EQ(app.mainWindow, nullptr);
        EXPECT_EQ(app.resultCode, 0);
    }
    EXPECT_FALSE(guard.expired);
    EXPECT_EQ(Journal, (std::vector<std::string>{"RegisterClasses", "InitInstance",
                                                 "CreateMainWindow", "OnCreated", "MessageLoop",
                                                 "DoCommand 400", "OnBeforeQuit", "loop ended",
                                                 "~window"}));
}

// An application whose main window could not be made (no memory for it,
// or CreateWindowExA failed).
class WindowlessMain final : public MAIN {
public:
    WindowlessMain() : MAIN("VelMainTest", GetModuleHandleA(nullptr), nullptr, "", SW_HIDE) {}
    int32_t CreateMainWindow() override { return 0; }
    void MessageLoop() override {
        Note("MessageLoop");
        MAIN::MessageLoop();
    }
};

TEST_F(MainTest, RunWithoutAMainWindowEndsWithItsResultCode) {
    WindowlessMain app;
    app.Run();
    EXPECT_FALSE(guard.expired);
    EXPECT_TRUE(Journal.empty());  // the loop, which nothing would end, never ran
    EXPECT_EQ(app.resultCode, MAIN::kNoMainWindowResult);
}

HWND DefaultWindow = nullptr;
std::string DefaultTitle;
bool DefaultVisible = true;

void CALLBACK CloseDefaultWindow(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    DefaultWindow = MAIN::CurrentApplication->mainWindow->window;
    char title[80] = {0};
    GetWindowTextA(DefaultWindow, title, sizeof title);
    DefaultTitle = title;
    DefaultVisible = IsWindowVisible(DefaultWindow) != 0;
    PostMessageA(DefaultWindow, WM_CLOSE, 0, 0);
}

TEST_F(MainTest, TheDefaultMainWindow) {
    TestMain app(false, SW_HIDE);
    SetTimer(nullptr, 0, 50, CloseDefaultWindow);
    app.Run();
    EXPECT_FALSE(guard.expired);
    EXPECT_EQ(DefaultTitle, "VelMainTest");
    EXPECT_FALSE(DefaultVisible);  // shown with the start-up's show command
    EXPECT_FALSE(IsWindow(DefaultWindow));
    EXPECT_EQ(app.mainWindow, nullptr);
    EXPECT_EQ(Journal, (std::vector<std::string>{"RegisterClasses", "InitInstance",
                                                 "CreateMainWindow", "MessageLoop", "loop ended"}));
}

// A main window that the test drives itself (no Run).
class Driven {
public:
    explicit Driven(TestMain* app) : app(app) {
        RegisterWindowClasses(GetModuleHandleA(nullptr));
        app->mainWindow = new NotingWindow("driven", false);
        window = app->mainWindow->Create();
    }
    // The object goes first, so its window's destruction posts no quit.
    ~Driven() {
        delete app->mainWindow;
        app->mainWindow = nullptr;
        DestroyWindow(window);
    }
    TestMain* app;
    HWND window;
};

TEST_F(MainTest, TheSingleInstanceRequests) {
    TestMain app;
    Driven driven(&app);
    HWND own = driven.window;

    // An asker that notes the answers it gets.
    class Asker : public FENETRE {
    public:
        explicit Asker(UINT number) : FENETRE(nullptr, "asker", nullptr), number(number) {
            style = WS_POPUP;
        }
        void OnOtherMessage(MessageRecord* record) override {
            if (record->message == number) {
                HWND from = reinterpret_cast<HWND>(record->lParam);
                const bool fromMain = from == MAIN::CurrentApplication->mainWindow->window;
                Note("answer " + std::to_string(record->wParam) + (fromMain ? " main" : " other"));
            }
            FENETRE::OnOtherMessage(record);
        }
        UINT number;
    };
    Asker* asker = new Asker(app.messageNumber);
    HWND other = asker->Create();
    const UINT n = app.messageNumber;

    Journal.clear();
    SendMessageA(own, n, 0xFFFF, reinterpret_cast<LPARAM>(other));
    EXPECT_EQ(Journal, (std::vector<std::string>{"answer 256 main"}));
    Journal.clear();
    SendMessageA(own, n, 0xFFFF, reinterpret_cast<LPARAM>(own));  // our own broadcast
    EXPECT_TRUE(Journal.empty());

    SendMessageA(own, n, 256, reinterpret_cast<LPARAM>(own));  // from ourselves: ignored
    EXPECT_EQ(app.earlierWindow, nullptr);
    SendMessageA(own, n, 256, reinterpret_cast<LPARAM>(other));
    EXPECT_EQ(app.earlierWindow, other);

    Journal.clear();
    SendMessageA(own, n, 1, 12345);
    SendMessageA(own, n, 2, 1234);
    SendMessageA(own, n, 3, 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"ShowMainWindow", "TakeHandOver 1234"}));
    // Shown with the application's show command: hidden, and activated.
    EXPECT_FALSE(IsWindowVisible(own));
    DestroyWindow(other);
}

TEST_F(MainTest, OnePassOfThePumpEndsAtTheModelessDialogsMessage) {
    TestMain app;
    Driven driven(&app);
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), "VEL_TEST_DLG", nullptr, QuietDialog, 0);
    ASSERT_NE(dialog, nullptr);
    PumpMessages(50);
    app.modelessDialog = dialog;
    Journal.clear();
    PostMessageA(driven.window, WM_USER + 7, 0, 0);
    PostMessageA(dialog, WM_USER + 7, 0, 0);
    PostMessageA(driven.window, WM_USER + 7, 0, 0);
    app.PumpFor(0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"WM_USER+7"}));
    EXPECT_EQ(app.PumpPending(), 1);
    EXPECT_EQ(Journal, (std::vector<std::string>{"WM_USER+7", "WM_USER+7"}));
    app.modelessDialog = nullptr;
    DestroyWindow(dialog);
}

TEST_F(MainTest, AnAcceleratorIsDispatchedButNotTranslated) {
    TestMain app;
    Driven driven(&app);
    ACCEL accel = {FVIRTKEY, 'A', 55};
    app.accelerators = CreateAcceleratorTableA(&accel, 1);
    Journal.clear();
    PostMessageA(driven.window, WM_KEYDOWN, 'A', 1);
    app.PumpFor(20);
    EXPECT_EQ(Journal, (std::vector<std::string>{"DoCommand 55", "OnKeyDown 65"}));
    Journal.clear();
    PostMessageA(driven.window, WM_KEYDOWN, 'B', 1);
    app.PumpFor(20);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnKeyDown 66", "OnChar 98"}));
    DestroyAcceleratorTable(app.accelerators);
    app.accelerators = nullptr;
}

// Its processor time while it sleeps is measured end to end
// (e2e_test: WaitingForAProgramCostsAlmostNoProcessor).
TEST_F(MainTest, PumpForWaitsItsTimeServingTheQueue) {
    TestMain app;
    for (int i = 0; i < 3; ++i) {
        const DWORD start = GetTickCount();
        app.PumpFor(100);
        const DWORD spent = GetTickCount() - start;
        EXPECT_GE(spent, 100u);
        EXPECT_LT(spent, 1000u);
    }
    // Messages that come while it sleeps are served as they come.
    TickCounter counter(100);
    app.PumpFor(650);
    EXPECT_GE(counter.Ticks(), 4);
}

// Makes the clock's next reading come before the one it took last, as
// when the system clock is set back.
void CALLBACK SetTheClockBack(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    ClockLastSeconds += 2;
}

TEST_F(MainTest, PumpForKeepsItsTimeWhenTheClockIsSetBack) {
    TestMain app;
    ClockMs();
    SetTimer(nullptr, 0, 20, SetTheClockBack);
    const DWORD start = GetTickCount();
    app.PumpFor(300);
    EXPECT_GE(GetTickCount() - start, 300u);
    ClockLastSeconds = 0;
}

}  // namespace
