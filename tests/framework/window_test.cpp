#include "framework/Fenetre.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppliMsg.h"
#include "app/MainFenetre.h"
#include "framework/MainInstance.h"
#include "tests/framework/GuiTestSupport.h"

namespace {

std::vector<std::string> Journal;

void Note(const std::string& entry) { Journal.push_back(entry); }

class TestInstance final : public MAIN_INSTANCE {
public:
    TestInstance() : MAIN_INSTANCE(GetModuleHandleA(nullptr)) {}
    int32_t CanQuit() override {
        Note("CanQuit");
        return quit;
    }
    int32_t quit = 1;
};

int32_t FirstRegistration = -1;

void EnsureClasses() {
    if (FirstRegistration < 0) FirstRegistration = RegisterWindowClasses(GetModuleHandleA(nullptr));
}

#define NOTE_HANDLER(Name)                      \
    void Name(MessageRecord* record) override { \
        Note(#Name);                            \
        FENETRE::Name(record);                  \
    }
#define NOTE_POSITION(Name) \
    void Name(uint32_t position) override { Note(#Name " " + std::to_string(position)); }
#define NOTE_THUMB(Name)                                                        \
    void Name(uint32_t position, HWND bar) override {                          \
        Note(#Name " " + std::to_string(position) + " " +                      \
             std::to_string(reinterpret_cast<uintptr_t>(bar)));                \
    }

// A window that notes every handler it runs. In passive mode the handlers
// that close or destroy only note their call.
class Probe : public FENETRE {
public:
    Probe(FEN_OBJ* parent, const char* title, bool passive)
        : FENETRE(parent, title, nullptr), passive(passive) {
        style = parent != nullptr ? WS_CHILD : WS_POPUP;
    }
    ~Probe() override { Note("~" + std::string(title)); }

    // Notes how the dispatcher left the record; the object may be gone by
    // then, so nothing of it is read after the call.
    LRESULT Dispatch(MessageRecord* record) override {
        const LRESULT answer = FENETRE::Dispatch(record);
        Note(std::string("default=") + (record->callDefault ? "1" : "0"));
        return answer;
    }

    void OnClose(MessageRecord* record) override {
        Note("OnClose");
        if (!passive) FENETRE::OnClose(record);
    }
    void OnDestroy(MessageRecord* record) override {
        Note("OnDestroy");
        if (!passive) FENETRE::OnDestroy(record);
    }
    void OnQueryEndSession(MessageRecord* record) override {
        Note("OnQueryEndSession");
        if (!passive) FENETRE::OnQueryEndSession(record);
    }
    int32_t CanClose() override { return refuse ? 0 : 1; }
    void OnRoutedCommand(MessageRecord* record) override {
        Note(std::string(title) + " routed " + std::to_string(LOWORD(record->wParam)));
    }
    void OnCreated() override { Note("OnCreated"); }
    void Draw(HDC, PAINTSTRUCT*) override { Note("Draw"); }

    NOTE_HANDLER(OnPaint)
    NOTE_HANDLER(OnTimer)
    NOTE_HANDLER(OnCreate)
    NOTE_HANDLER(OnSetFocus)
    NOTE_HANDLER(OnKillFocus)
    NOTE_HANDLER(OnMouseMove)
    NOTE_HANDLER(OnNcLButtonDown)
    NOTE_HANDLER(OnNcLButtonUp)
    NOTE_HANDLER(OnNcLButtonDblClk)
    NOTE_HANDLER(OnNcPaint)
    NOTE_HANDLER(OnLButtonDblClk)
    NOTE_HANDLER(OnLButtonDown)
    NOTE_HANDLER(OnLButtonUp)
    NOTE_HANDLER(OnRButtonDown)
    NOTE_HANDLER(OnRButtonUp)
    NOTE_HANDLER(OnKeyUp)
    NOTE_HANDLER(OnKeyDown)
    NOTE_HANDLER(OnChar)
    NOTE_HANDLER(OnHScroll)
    NOTE_HANDLER(OnVScroll)
    NOTE_HANDLER(OnSize)
    NOTE_HANDLER(OnMove)
    NOTE_HANDLER(OnCommand)
    NOTE_HANDLER(DoCommand)
    NOTE_HANDLER(OnSysCommand)
    NOTE_HANDLER(OnParentNotify)
    NOTE_HANDLER(OnCtlColorEdit)
    NOTE_HANDLER(OnActivate)
    NOTE_HANDLER(OnMenuChar)
    NOTE_HANDLER(OnGetDlgCode)
    NOTE_HANDLER(OnSetFont)
    NOTE_HANDLER(OnOtherMessage)
    NOTE_HANDLER(OnMeasureItem)
    NOTE_HANDLER(OnDrawItem)
    NOTE_POSITION(OnLineLeft)
    NOTE_POSITION(OnLineRight)
    NOTE_POSITION(OnPageLeft)
    NOTE_POSITION(OnPageRight)
    NOTE_POSITION(OnLineUp)
    NOTE_POSITION(OnLineDown)
    NOTE_POSITION(OnPageUp)
    NOTE_POSITION(OnPageDown)
    NOTE_THUMB(OnThumbTrackH)
    NOTE_THUMB(OnThumbPositionH)
    NOTE_THUMB(OnThumbTrackV)
    NOTE_THUMB(OnThumbPositionV)

    bool passive;
    bool refuse = false;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureClasses();
        Journal.clear();
    }
    TestInstance instance;
    GuiGuard guard;
};

struct Row {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::vector<std::string> handlers;
    bool callDefault;
};

TEST_F(WindowTest, EveryMessageOfTheTableReachesItsHandler) {
    Probe* probe = new Probe(nullptr, "probe", true);
    HWND h = probe->Create();
    ASSERT_NE(h, nullptr);
    HDC dc = GetDC(h);
    const WPARAM dcParam = reinterpret_cast<WPARAM>(dc);
    // Owner-drawing messages carry their structure: Wine's WoW64 layer
    // converts it on the way and drops such a message without one.
    DRAWITEMSTRUCT draw = {};
    draw.hwndItem = h;
    draw.hDC = dc;
    MEASUREITEMSTRUCT measure = {};
    const LPARAM drawParam = reinterpret_cast<LPARAM>(&draw);
    const LPARAM measureParam = reinterpret_cast<LPARAM>(&measure);
    const std::vector<Row> rows = {
        {WM_CREATE, 0, 0, {"OnCreate"}, false},
        {WM_DESTROY, 0, 0, {"OnDestroy"}, false},
        {WM_MOVE, 0, 0, {"OnMove"}, false},
        {WM_SIZE, 0, 0, {"OnSize"}, false},
        {WM_ACTIVATE, 0, 0, {"OnActivate"}, false},
        {WM_SETFOCUS, 0, 0, {"OnSetFocus"}, false},
        {WM_KILLFOCUS, 0, 0, {"OnKillFocus"}, false},
        {WM_PAINT, 0, 0, {"OnPaint", "Draw"}, false},
        {WM_CLOSE, 0, 0, {"OnClose"}, false},
        {WM_QUERYENDSESSION, 0, 0, {"OnQueryEndSession"}, false},
        {WM_DRAWITEM, 0, drawParam, {"OnDrawItem"}, false},
        {WM_MEASUREITEM, 0, measureParam, {"OnMeasureItem"}, false},
        {WM_SETFONT, 0, 0, {"OnSetFont"}, false},
        {WM_NCPAINT, 1, 0, {"OnNcPaint"}, true},
        {WM_GETDLGCODE, 0, 0, {"OnGetDlgCode"}, false},
        {WM_NCLBUTTONDOWN, HTNOWHERE, 0, {"OnNcLButtonDown"}, true},
        {WM_NCLBUTTONUP, HTNOWHERE, 0, {"OnNcLButtonUp"}, true},
        {WM_NCLBUTTONDBLCLK, HTNOWHERE, 0, {"OnNcLButtonDblClk"}, true},
        {WM_KEYDOWN, 'A', 0, {"OnKeyDown"}, false},
        {WM_KEYUP, 'A', 0, {"OnKeyUp"}, false},
        {WM_CHAR, 'a', 0, {"OnChar"}, false},
        {WM_COMMAND, 8, 0, {"OnCommand", "DoCommand"}, false},
        {WM_SYSCOMMAND, 0xF1F0, 0, {"OnSysCommand"}, true},
        {WM_TIMER, 5, 0, {"OnTimer"}, false},
        {WM_HSCROLL, MAKEWPARAM(SB_LINELEFT, 3), 0, {"OnHScroll", "OnLineLeft 3"}, false},
        {WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 4), 0, {"OnVScroll", "OnPageDown 4"}, false},
        {WM_MENUCHAR, 0, 0, {"OnMenuChar"}, false},
        {WM_CTLCOLOREDIT, dcParam, 0, {"OnCtlColorEdit"}, true},
        {WM_MOUSEMOVE, 0, 0, {"OnMouseMove"}, false},
        {WM_LBUTTONDOWN, 0, 0, {"OnLButtonDown"}, false},
        {WM_LBUTTONUP, 0, 0, {"OnLButtonUp"}, false},
        {WM_LBUTTONDBLCLK, 0, 0, {"OnLButtonDblClk"}, false},
        {WM_RBUTTONDOWN, 0, 0, {"OnRButtonDown"}, false},
        {WM_RBUTTONUP, 0, 0, {"OnRButtonUp"}, false},
        {WM_PARENTNOTIFY, 0, 0, {"OnParentNotify"}, false},
        // Everything else, the other colour messages included, is default.
        {WM_CTLCOLORSTATIC, dcParam, 0, {"OnOtherMessage"}, true},
        {WM_CTLCOLORBTN, dcParam, 0, {"OnOtherMessage"}, true},
        {WM_NCHITTEST, 0, 0, {"OnOtherMessage"}, true},
        {WM_USER + 5, 0, 0, {"OnOtherMessage"}, true},
    };
    for (const Row& row : rows) {
        Journal.clear();
        SendMessageA(h, row.message, row.wParam, row.lParam);
        std::vector<std::string> expected = row.handlers;
        expected.push_back(row.callDefault ? "default=1" : "default=0");
        EXPECT_EQ(Journal, expected) << "message " << row.message;
    }
    ReleaseDC(h, dc);
    probe->passive = false;
    DestroyWindow(h);
}

TEST_F(WindowTest, DefaultHandlingGivesDefWindowProcsAnswer) {
    Probe* probe = new Probe(nullptr, "probe", false);
    HWND h = probe->Create();
    // WM_GETTEXTLENGTH is not in the table: DefWindowProcA answers it.
    EXPECT_EQ(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0), 5);

    class Answering : public FENETRE {
    public:
        Answering() : FENETRE(nullptr, "answering", nullptr) { style = WS_POPUP; }
        void OnMouseMove(MessageRecord* record) override { record->result = 1234; }
        void OnOtherMessage(MessageRecord* record) override { record->result = 77; }
        void OnSysCommand(MessageRecord* record) override { record->result = 78; }
        void OnNcPaint(MessageRecord* record) override {
            FENETRE::OnNcPaint(record);
            record->result = 79;  // ignored: default handling answers
        }
    };
    Answering* answering = new Answering();
    HWND a = answering->Create();
    EXPECT_EQ(SendMessageA(a, WM_MOUSEMOVE, 0, 0), 1234);
    EXPECT_EQ(SendMessageA(a, WM_GETTEXTLENGTH, 0, 0), 77);  // call default cleared
    EXPECT_EQ(SendMessageA(a, WM_SYSCOMMAND, 0xF1F0, 0), 0);  // default kept: not 78
    EXPECT_NE(SendMessageA(a, WM_NCPAINT, 1, 0), 79);
    DestroyWindow(a);
    DestroyWindow(h);
}

TEST_F(WindowTest, CreatedWindowsBindOnTheirFirstMessage) {
    Probe* probe = new Probe(nullptr, "probe", false);
    EXPECT_EQ(FindWindowObject(nullptr), probe);  // no handle yet
    HWND h = probe->Create();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(probe->window, h);
    // Creation messages got default handling: no OnCreate, one OnCreated.
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnCreated"}));
    EXPECT_EQ(GetWindowLongPtrA(h, 0), 0);
    EXPECT_EQ(GetClassLongPtrA(h, GCL_CBWNDEXTRA), static_cast<LONG_PTR>(sizeof(LONG_PTR)));
    EXPECT_EQ(probe->Create(), nullptr);  // a second Create does nothing
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnCreated"}));

    SendMessageA(h, WM_USER, 0, 0);
    EXPECT_EQ(GetWindowLongPtrA(h, 0), reinterpret_cast<LONG_PTR>(probe));
    EXPECT_EQ(FindWindowObject(h), probe);
    // Bound: found through the extra bytes, not through the window list.
    Journal.clear();
    probe->window = nullptr;
    SendMessageA(h, WM_USER, 0, 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnOtherMessage", "default=1"}));
    probe->window = h;

    // Destruction unbinds and deletes the object.
    const int32_t live = OBJET::LiveObjects;
    Journal.clear();
    DestroyWindow(h);
    EXPECT_EQ(OBJET::LiveObjects, live - 1);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnDestroy", "~probe", "default=0"}));
    EXPECT_EQ(FindWindowObject(h), nullptr);
}

TEST_F(WindowTest, AFailedCreationStillCallsOnCreated) {
    Probe* orphan = new Probe(nullptr, "orphan", false);
    orphan->style = WS_CHILD;  // a child window without parent cannot exist
    EXPECT_EQ(orphan->Create(), nullptr);
    EXPECT_EQ(orphan->window, nullptr);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnCreated"}));
    delete orphan;
}

TEST_F(WindowTest, AWindowThatOutlivesItsObjectGetsDefaultHandling) {
    Probe* parent = new Probe(nullptr, "parent", false);
    HWND p = parent->Create();
    Probe* child = new Probe(parent, "child", false);
    EXPECT_EQ(child->parentWindow, p);
    HWND c = child->Create();
    ASSERT_NE(c, nullptr);
    SendMessageA(c, WM_USER, 0, 0);  // bound
    // The parent object goes while both windows stay: the child object goes
    // with it, and its window must not keep the deleted object.
    delete parent;
    EXPECT_EQ(GetWindowLongPtrA(c, 0), 0);
    EXPECT_EQ(GetWindowLongPtrA(p, 0), 0);
    Journal.clear();
    SendMessageA(c, WM_USER, 0, 0);
    DestroyWindow(p);
    EXPECT_TRUE(Journal.empty());
    EXPECT_FALSE(IsWindow(c));
}

TEST_F(WindowTest, ScrollMessagesCarryTheirPositionAndBar) {
    Probe* probe = new Probe(nullptr, "probe", false);
    HWND h = probe->Create();
    const LPARAM bar = 0x1234;
    const std::vector<std::pair<WPARAM, std::string>> horizontal = {
        {MAKEWPARAM(SB_LINERIGHT, 1), "OnLineRight 1"},
        {MAKEWPARAM(SB_PAGELEFT, 2), "OnPageLeft 2"},
        {MAKEWPARAM(SB_PAGERIGHT, 3), "OnPageRight 3"},
        {MAKEWPARAM(SB_THUMBPOSITION, 0xBEEF), "OnThumbPositionH 48879 4660"},
        {MAKEWPARAM(SB_THUMBTRACK, 0xFFFF), "OnThumbTrackH 65535 4660"},
    };
    for (const auto& row : horizontal) {
        Journal.clear();
        SendMessageA(h, WM_HSCROLL, row.first, bar);
        EXPECT_EQ(Journal, (std::vector<std::string>{"OnHScroll", row.second, "default=0"}));
    }
    const std::vector<std::pair<WPARAM, std::string>> vertical = {
        {MAKEWPARAM(SB_LINEUP, 1), "OnLineUp 1"},
        {MAKEWPARAM(SB_LINEDOWN, 2), "OnLineDown 2"},
        {MAKEWPARAM(SB_PAGEUP, 3), "OnPageUp 3"},
        {MAKEWPARAM(SB_THUMBPOSITION, 7), "OnThumbPositionV 7 4660"},
        {MAKEWPARAM(SB_THUMBTRACK, 8), "OnThumbTrackV 8 4660"},
    };
    for (const auto& row : vertical) {
        Journal.clear();
        SendMessageA(h, WM_VSCROLL, row.first, bar);
        EXPECT_EQ(Journal, (std::vector<std::string>{"OnVScroll", row.second, "default=0"}));
    }
    for (WORD code : {SB_TOP, SB_BOTTOM, SB_ENDSCROLL}) {
        Journal.clear();
        EXPECT_EQ(SendMessageA(h, WM_HSCROLL, MAKEWPARAM(code, 1), bar), 0);
        SendMessageA(h, WM_VSCROLL, MAKEWPARAM(code, 1), bar);
        EXPECT_EQ(Journal, (std::vector<std::string>{"OnHScroll", "default=0", "OnVScroll",
                                                     "default=0"}));
    }
    DestroyWindow(h);
}

TEST_F(WindowTest, CommandsGoToTheOldestClaimingChild) {
    Probe* parent = new Probe(nullptr, "parent", false);
    HWND h = parent->Create();
    Probe* older = new Probe(parent, "older", false);
    Probe* newer = new Probe(parent, "newer", false);
    older->identifier = 7;
    newer->identifier = 7;
    // A plain object that claims a command has no window to take it.
    class Claiming : public OBJET {
    public:
        explicit Claiming(OBJET* parent) : OBJET(parent, 0) {}
        int32_t HasId(int32_t identifier) override { return identifier == 9 ? 1 : 0; }
    };
    new Claiming(parent);
    EXPECT_EQ(older->HasId(7), 1);
    EXPECT_EQ(older->HasId(8), 0);

    Journal.clear();
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(7, 0), 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnCommand", "older routed 7", "default=0"}));
    Journal.clear();
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(8, 0), 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnCommand", "DoCommand", "default=0"}));
    Journal.clear();
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(9, 0), 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnCommand", "DoCommand", "default=0"}));
    DestroyWindow(h);
}

TEST_F(WindowTest, CloseClosesChildrenFirstThenTheWindow) {
    Probe* parent = new Probe(nullptr, "parent", false);
    HWND p = parent->Create();
    Probe* first = new Probe(parent, "first", false);
    HWND f = first->Create();
    Probe* second = new Probe(parent, "second", false);
    HWND s = second->Create();
    ASSERT_TRUE(f != nullptr && s != nullptr);
    const int32_t live = OBJET::LiveObjects;
    Journal.clear();
    SendMessageA(p, WM_CLOSE, 0, 0);
    EXPECT_EQ(OBJET::LiveObjects, live - 3);
    EXPECT_FALSE(IsWindow(p));
    EXPECT_FALSE(IsWindow(f));
    EXPECT_FALSE(IsWindow(s));
    std::vector<std::string> destroyed;
    for (const std::string& e : Journal) {
        if (e[0] == '~') destroyed.push_back(e);
    }
    EXPECT_EQ(destroyed, (std::vector<std::string>{"~second", "~first", "~parent"}));
}

TEST_F(WindowTest, ARefusingChildKeepsTheWindowOpen) {
    Probe* parent = new Probe(nullptr, "parent", false);
    HWND p = parent->Create();
    Probe* refusing = new Probe(parent, "refusing", false);
    refusing->Create();
    refusing->refuse = true;
    const int32_t live = OBJET::LiveObjects;
    SendMessageA(p, WM_CLOSE, 0, 0);
    EXPECT_EQ(OBJET::LiveObjects, live);
    EXPECT_TRUE(IsWindow(p));
    refusing->refuse = false;
    SendMessageA(p, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(p));
}

TEST_F(WindowTest, EndOfSessionNeedsTheApplicationAndTheWholeTree) {
    Probe* probe = new Probe(nullptr, "probe", false);
    HWND h = probe->Create();
    instance.quit = 0;
    EXPECT_EQ(SendMessageA(h, WM_QUERYENDSESSION, 0, 0), 0);
    EXPECT_TRUE(IsWindow(h));
    instance.quit = 1;
    probe->refuse = true;
    EXPECT_EQ(SendMessageA(h, WM_QUERYENDSESSION, 0, 0), 0);
    EXPECT_TRUE(IsWindow(h));
    probe->refuse = false;
    EXPECT_EQ(SendMessageA(h, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowTest, EditColouringOnAnswersWithTheControlBrush) {
    Probe* probe = new Probe(nullptr, "probe", false);
    HWND h = probe->Create();
    HDC dc = GetDC(h);
    SetBkColor(dc, RGB(1, 2, 3));
    PALETTE::EditColouring = 1;
    const LRESULT brush = SendMessageA(h, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0);
    PALETTE::EditColouring = 0;
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(PALETTE::ControlBrush));
    EXPECT_EQ(GetBkColor(dc), PALETTE::BackColour);
    ReleaseDC(h, dc);
    DestroyWindow(h);
}

TEST_F(WindowTest, WindowListFollowsConstructionAndDestruction) {
    FEN_OBJ* const oldest = FEN_OBJ::OldestWindow;
    Probe* a = new Probe(nullptr, "a", false);
    Probe* b = new Probe(nullptr, "b", false);
    Probe* c = new Probe(nullptr, "c", false);
    EXPECT_EQ(FEN_OBJ::NewestWindow, c);
    EXPECT_EQ(c->olderWindow, b);
    EXPECT_EQ(b->olderWindow, a);
    EXPECT_EQ(a->newerWindow, b);
    delete b;
    EXPECT_EQ(c->olderWindow, a);
    EXPECT_EQ(a->newerWindow, c);
    delete c;
    EXPECT_EQ(FEN_OBJ::NewestWindow, a);
    EXPECT_EQ(a->newerWindow, nullptr);
    delete a;
    EXPECT_EQ(FEN_OBJ::OldestWindow, oldest);
    EXPECT_EQ(FEN_OBJ::NewestWindow, oldest);
}

TEST_F(WindowTest, ClassesAreRegisteredOnce) {
    EXPECT_EQ(FirstRegistration, 1);
    HINSTANCE module = GetModuleHandleA(nullptr);
    EXPECT_EQ(RegisterWindowClasses(module), 0);  // the system refuses duplicates
    WNDCLASSA child;
    ASSERT_TRUE(GetClassInfoA(module, "OW_CHILD", &child));
    EXPECT_EQ(child.style, static_cast<UINT>(CS_DBLCLKS));
    EXPECT_EQ(child.cbWndExtra, static_cast<int>(sizeof(LONG_PTR)));
    EXPECT_EQ(child.cbClsExtra, 0);
    EXPECT_EQ(child.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    EXPECT_EQ(child.hCursor, PALETTE::ArrowCursor);
    EXPECT_EQ(child.hIcon, PALETTE::ChildIcon);
    WNDCLASSA main;
    ASSERT_TRUE(GetClassInfoA(module, "OW_MAIN", &main));
    EXPECT_EQ(main.style, 0u);
    EXPECT_EQ(main.hIcon, PALETTE::MainIcon);
    EXPECT_EQ(main.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1));
    EXPECT_EQ(main.lpfnWndProc, child.lpfnWndProc);
}

// A channel that takes its messages and answers them.
class Channel final : public APPLI_MSG {
public:
    Channel() : APPLI_MSG("VelWindowTestChannel") {}
    void OnMessage(MessageRecord* record) override {
        Note("channel");
        record->result = 55;
    }
};

class MainProbe : public MAIN_FENETRE {
public:
    MainProbe() : MAIN_FENETRE("main probe") { style = WS_POPUP; }
    ~MainProbe() override { Note("~main probe"); }
    void OnOtherMessage(MessageRecord* record) override {
        Note("OnOtherMessage " + std::to_string(record->message));
        MAIN_FENETRE::OnOtherMessage(record);
    }
    void OnBeforeQuit() override { Note("OnBeforeQuit"); }
};

// Runs last: deleting a main window releases the palette of the process.
TEST_F(WindowTest, TheMainWindow) {
    Channel channel;
    MainProbe* main = new MainProbe();
    HWND h = main->Create();

    // The channels see its messages first; one they take goes no further.
    Journal.clear();
    EXPECT_EQ(SendMessageA(h, channel.messageNumber, 0, 0), 55);
    EXPECT_EQ(Journal, (std::vector<std::string>{"channel"}));
    Journal.clear();
    SendMessageA(h, WM_USER + 1, 0, 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnOtherMessage 1025"}));

    // It closes only when the application agrees.
    instance.quit = 0;
    Journal.clear();
    SendMessageA(h, WM_CLOSE, 0, 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"CanQuit"}));
    EXPECT_TRUE(IsWindow(h));

    instance.quit = 1;
    const int32_t live = OBJET::LiveObjects;
    Journal.clear();
    SendMessageA(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    // Destroyed, it posts the quit message and stays alive; WM_NCDESTROY
    // came after WM_DESTROY: the object was found again.
    EXPECT_EQ(Journal, (std::vector<std::string>{"CanQuit", "OnBeforeQuit", "OnOtherMessage 130"}));
    EXPECT_EQ(OBJET::LiveObjects, live);
    EXPECT_EQ(main->window, h);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);

    // Its deletion releases the palette.
    HBRUSH brush = PALETTE::DialogBrush;
    ASSERT_NE(GetObjectType(brush), 0u);
    delete main;
    EXPECT_TRUE(PALETTE::Released);
    EXPECT_EQ(PALETTE::DialogBrush, brush);  // the value stays, the brush is gone
    EXPECT_EQ(GetObjectType(brush), 0u);
}

}  // namespace
