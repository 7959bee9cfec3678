#include "framework/MDialog.h"

#include <prsht.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "framework/MainInstance.h"
#include "services/LogRouting.h"
#include "tests/framework/GuiTestSupport.h"

namespace {

std::vector<std::string> Journal;

void Note(const std::string& entry) { Journal.push_back(entry); }

class TestInstance final : public MAIN_INSTANCE {
public:
    TestInstance() : MAIN_INSTANCE(GetModuleHandleA(nullptr)) {}
};

class Receiver : public LogReceiver {
public:
    explicit Receiver(uint16_t id) : LogReceiver(id) { AttachLogReceiver(this); }
    void Log(const char* text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// A dialog whose initialisation runs a script of the test.
class TestDialog : public M_DIALOG {
public:
    explicit TestDialog(const char* name = "VEL_TEST_DLG", FEN_OBJ* parent = nullptr)
        : M_DIALOG(parent, name) {}
    ~TestDialog() override { Note("~dialog"); }

    void OnInitDialog(MessageRecord* record) override {
        Note("OnInitDialog");
        if (script) script(record->window);
    }
    int32_t OnOk(MessageRecord* record) override {
        const int32_t r = M_DIALOG::OnOk(record);
        Note("OnOk " + std::to_string(r));
        return r;
    }
    int32_t OnCancel(MessageRecord* record) override {
        Note("OnCancel");
        return M_DIALOG::OnCancel(record);
    }
    void DoCommand(MessageRecord* record) override {
        Note("DoCommand " + std::to_string(LOWORD(record->wParam)));
    }
    void OnClose(MessageRecord* record) override {
        Note("OnClose");
        M_DIALOG::OnClose(record);
    }
    void OnSysCommand(MessageRecord* record) override {
        Note("OnSysCommand");
        M_DIALOG::OnSysCommand(record);
    }
    void OnOtherMessage(MessageRecord* record) override {
        if (record->message == WM_SETFONT) Note("WM_SETFONT");
        M_DIALOG::OnOtherMessage(record);
    }
    void OnEnd(int32_t result) override { Note("OnEnd " + std::to_string(result)); }

    std::function<void(HWND)> script;
};

// A window object under a dialog, claiming one command identifier.
class Child : public FENETRE {
public:
    Child(FEN_OBJ* parent, int32_t id) : FENETRE(parent, "child", nullptr) { identifier = id; }
    void OnRoutedCommand(MessageRecord* record) override {
        Note("child " + std::to_string(identifier) + " got " +
             std::to_string(LOWORD(record->wParam)));
    }
    int32_t CanClose() override { return refuse ? 0 : 1; }
    bool refuse = false;
};

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    PostMessageA(window, message, wParam, lParam);
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { Journal.clear(); }
    TestInstance instance;
    GuiGuard guard;
};

TEST_F(DialogTest, AMissingTemplateIsLoggedAndGivesMinusOne) {
    Receiver dialogs(kLogDialog);
    Receiver all(kLogAll);
    const int32_t running = M_DIALOG::RunningDialogs;
    EXPECT_EQ(RunDialog(new TestDialog("NO_SUCH_TEMPLATE"), 1), -1);
    EXPECT_EQ(M_DIALOG::RunningDialogs, running);
    ASSERT_EQ(dialogs.texts.size(), 1u);
    ASSERT_EQ(all.texts, dialogs.texts);
    const std::string text = dialogs.texts[0];
    const std::string prefix = "Erreur ProcessDialog ";
    ASSERT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    const std::string code = text.substr(prefix.size());
    EXPECT_FALSE(code.empty());
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << text;
    EXPECT_EQ(Journal, (std::vector<std::string>{"~dialog"}));
    EXPECT_EQ(RunDialog(nullptr, 1), 0);
}

TEST_F(DialogTest, ATemplateNameTooLongIsNotCutIntoAnotherName) {
    Receiver dialogs(kLogDialog);
    TestDialog* fits = new TestDialog("VEL_TEST_DLG_WITH_A_LONG_NAME_X");
    fits->script = [](HWND h) { Post(h, WM_COMMAND, IDOK); };
    EXPECT_EQ(RunDialog(fits, 1), 1);
    // Cut to 31 characters this would be the name above.
    TestDialog* longer = new TestDialog("VEL_TEST_DLG_WITH_A_LONG_NAME_XYZ");
    longer->script = [](HWND h) { Post(h, WM_COMMAND, IDOK); };
    EXPECT_STREQ(longer->templateName, "");
    EXPECT_EQ(RunDialog(longer, 1), -1);
    EXPECT_EQ(dialogs.texts.size(), 1u);
    EXPECT_FALSE(guard.expired);
}

TEST_F(DialogTest, OkPostedFromInitialisationEndsWithTheStoredResult) {
    TestDialog* dialog = new TestDialog();
    EXPECT_EQ(dialog->window, nullptr);
    dialog->script = [](HWND h) { Post(h, WM_COMMAND, IDOK); };
    EXPECT_EQ(RunDialog(dialog, 0), 1);
    EXPECT_FALSE(guard.expired);
    // The handle stays after the run.
    EXPECT_NE(dialog->window, nullptr);
    EXPECT_NE(dialog->window, reinterpret_cast<HWND>(static_cast<INT_PTR>(-1)));
    EXPECT_FALSE(IsWindow(dialog->window));
    EXPECT_EQ(FindDialog(dialog->window), dialog);
    EXPECT_EQ(FindWindowObject(dialog->window), dialog);
    // No WM_SETFONT reached a handler: it came before WM_INITDIALOG.
    // OnOk notes its answer after the end it caused.
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnInitDialog", "OnEnd 1", "OnOk 1"}));

    dialog->result = 5;
    Journal.clear();
    EXPECT_EQ(RunDialog(dialog, 1), 5);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnInitDialog", "OnEnd 5", "OnOk 1", "~dialog"}));
}

TEST_F(DialogTest, CancelEscapeAndTheCloseBoxGiveZero) {
    const std::vector<std::pair<std::string, std::function<void(HWND)>>> ways = {
        {"cancel button",
         [](HWND h) {
             Post(h, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(h, IDCANCEL)));
         }},
        {"escape", [](HWND h) { Post(GetDlgItem(h, IDOK), WM_KEYDOWN, VK_ESCAPE); }},
        {"close box", [](HWND h) { Post(h, WM_SYSCOMMAND, SC_CLOSE); }},
    };
    for (const auto& way : ways) {
        Journal.clear();
        TestDialog* dialog = new TestDialog();
        dialog->script = way.second;
        EXPECT_EQ(RunDialog(dialog, 1), 0) << way.first;
        EXPECT_EQ(Journal.back(), "~dialog");
        EXPECT_NE(std::find(Journal.begin(), Journal.end(), "OnEnd 0"), Journal.end()) << way.first;
    }
    EXPECT_FALSE(guard.expired);
    // The close box: the system command goes to the dialog manager, which
    // sends WM_CLOSE.
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnInitDialog", "OnSysCommand", "OnClose",
                                                 "OnCancel", "OnEnd 0", "~dialog"}));
}

TEST_F(DialogTest, CommandsGoToChildrenExceptOkAndCancel) {
    TestDialog* dialog = new TestDialog();
    new Child(dialog, IDOK);
    new Child(dialog, IDCANCEL);
    new Child(dialog, 9);
    dialog->script = [](HWND h) {
        Post(h, WM_COMMAND, 9);
        Post(h, WM_COMMAND, 10);
        Post(h, WM_COMMAND, IDOK);
    };
    EXPECT_EQ(RunDialog(dialog, 1), 1);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnInitDialog", "child 9 got 9", "DoCommand 10",
                                                 "OnEnd 1", "OnOk 1", "~dialog"}));
}

TEST_F(DialogTest, OkWaitsForTheWholeTreeToAgree) {
    TestDialog* dialog = new TestDialog();
    Child* refusing = new Child(dialog, 30);
    refusing->refuse = true;
    dialog->script = [](HWND h) {
        Post(h, WM_COMMAND, IDOK);
        Post(h, WM_COMMAND, IDCANCEL);
    };
    EXPECT_EQ(RunDialog(dialog, 1), 0);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnInitDialog", "OnOk 0", "OnCancel", "OnEnd 0",
                                                 "~dialog"}));
}

TEST_F(DialogTest, CentreOnTheScreen) {
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    std::vector<RECT> placed;
    TestDialog* dialog = new TestDialog();
    dialog->script = [&](HWND h) {
        auto place = [&](int w, int ht, int dx, int dy) {
            SetWindowPos(h, nullptr, 0, 0, w, ht, SWP_NOMOVE | SWP_NOZORDER);
            dialog->Centre(dx, dy);
            RECT r;
            GetWindowRect(h, &r);
            placed.push_back(r);
        };
        place(300, 200, 0, 0);
        place(300, 200, 10, -20);
        place(sw + 77, 200, 0, 0);  // wider than the screen
        Post(h, WM_COMMAND, IDOK);
    };
    ASSERT_EQ(RunDialog(dialog, 1), 1);
    ASSERT_EQ(placed.size(), 3u);
    EXPECT_EQ(placed[0].left, (sw - 300) / 2);
    EXPECT_EQ(placed[0].top, (sh - 200) / 2);
    EXPECT_EQ(placed[0].right - placed[0].left, 300);
    if (sw == 1024 && sh == 768) {
        EXPECT_EQ(placed[0].left, 362);
        EXPECT_EQ(placed[0].top, 284);
    }
    EXPECT_EQ(placed[1].left, (sw - 300) / 2 + 10);
    EXPECT_EQ(placed[1].top, (sh - 200) / 2 - 20);
    // (-77) / 2 truncates towards zero: -38, not -39.
    EXPECT_EQ(placed[2].left, -38);
}

TEST_F(DialogTest, ControlColourAnswers) {
    std::vector<INT_PTR> answers;
    COLORREF text = 0;
    COLORREF back = 0;
    TestDialog* dialog = new TestDialog();
    dialog->script = [&](HWND h) {
        HWND label = GetDlgItem(h, 20);
        HDC dc = GetDC(label);
        SetTextColor(dc, RGB(9, 8, 7));
        SetBkColor(dc, RGB(1, 2, 3));
        const WPARAM d = reinterpret_cast<WPARAM>(dc);
        const LPARAM l = reinterpret_cast<LPARAM>(label);
        for (UINT m : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN, WM_CTLCOLORLISTBOX, WM_CTLCOLORDLG,
                       WM_CTLCOLORSCROLLBAR, WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT}) {
            answers.push_back(M_DIALOG::PasseDlgProc(h, m, d, l));
        }
        PALETTE::EditColouring = 1;
        answers.push_back(M_DIALOG::PasseDlgProc(h, WM_CTLCOLOREDIT, d, l));
        PALETTE::EditColouring = 0;
        answers.push_back(M_DIALOG::PasseDlgProc(h, WM_MEASUREITEM, 0, 0));
        answers.push_back(M_DIALOG::PasseDlgProc(h, WM_SYSCOMMAND, SC_KEYMENU, 0));
        answers.push_back(M_DIALOG::PasseDlgProc(h, WM_MOUSEMOVE, 0, 0));
        text = GetTextColor(dc);
        back = GetBkColor(dc);
        ReleaseDC(label, dc);
        Post(h, WM_COMMAND, IDOK);
    };
    ASSERT_EQ(RunDialog(dialog, 1), 1);
    const INT_PTR control = reinterpret_cast<INT_PTR>(PALETTE::ControlBrush);
    const INT_PTR brush = reinterpret_cast<INT_PTR>(PALETTE::DialogBrush);
    EXPECT_EQ(answers, (std::vector<INT_PTR>{control, control, control, brush, 0, 0, 0, control,
                                             0, 0, 1}));
    // Black button text counts as not set; the button face is set.
    ASSERT_EQ(PALETTE::TextColour, 0u);
    EXPECT_EQ(text, RGB(9, 8, 7));
    EXPECT_EQ(back, PALETTE::BackColour);
}

TEST_F(DialogTest, AWindowWithoutDialogObjectIsLeftToTheDialogManager) {
    EXPECT_EQ(M_DIALOG::PasseDlgProc(GetDesktopWindow(), WM_SETFONT, 0, 0), 0);
    EXPECT_EQ(M_DIALOG::PasseDlgProc(GetDesktopWindow(), WM_COMMAND, IDOK, 0), 0);
    EXPECT_TRUE(Journal.empty());
}

TEST_F(DialogTest, PropertySheetPagesBindThroughTheirPageRecord) {
    TestDialog* page = new TestDialog("VEL_TEST_PAGE");
    PROPSHEETPAGEA sheetPage = {};
    sheetPage.dwSize = sizeof sheetPage;
    sheetPage.hInstance = GetModuleHandleA(nullptr);
    sheetPage.pszTemplate = "VEL_TEST_PAGE";
    sheetPage.pfnDlgProc = M_DIALOG::PasseSheetDlgProc;
    sheetPage.lParam = reinterpret_cast<LPARAM>(page);
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS;
    header.hInstance = GetModuleHandleA(nullptr);
    header.pszCaption = "sheet";
    header.nPages = 1;
    header.ppsp = &sheetPage;
    HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
    ASSERT_NE(sheet, nullptr);
    PumpMessages(100);
    EXPECT_EQ(Journal, (std::vector<std::string>{"OnInitDialog"}));
    ASSERT_TRUE(IsWindow(page->window));
    EXPECT_EQ(GetParent(page->window), sheet);
    EXPECT_EQ(FindDialog(page->window), page);
    DestroyWindow(sheet);
    delete page;
}

}  // namespace
