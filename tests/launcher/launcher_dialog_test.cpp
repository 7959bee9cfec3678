// The launcher's two dialogs, run in this process on the real "AUTO_IST"
// template (the stub's resources are linked into the test program).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "archive/CtArchive.h"
#include "launcher/Appli.h"
#include "launcher/CtExtractDlg.h"
#include "launcher/CtTempFolder.h"
#include "launcher/FolderProgram.h"
#include "launcher/HFen.h"
#include "launcher/IstDlg.h"
#include "tests/framework/GuiTestSupport.h"
#include "tests/launcher/LauncherTestSupport.h"

namespace {

// The end code of a dialog that nobody answered within its time.
const INT_PTR kUnanswered = -2;
const UINT kAnswerTimer = 77;

std::string ControlText(HWND dialog, int id) {
    char text[600] = {0};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// What a dialog looked like right after its initialisation.
struct Seen {
    RECT rect{};
    std::string text;
    bool okVisible = false;
    bool quitVisible = false;
};

// Whether a control will show: the dialog itself is not visible yet while
// it initialises.
bool Showing(HWND dialog, int id) {
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Note(HWND dialog, Seen* seen) {
    GetWindowRect(dialog, &seen->rect);
    seen->text = ControlText(dialog, 20);
    seen->okVisible = Showing(dialog, IDOK);
    seen->quitVisible = Showing(dialog, IDCANCEL);
}

// The confirmation dialog, noting what it shows and then sending itself
// one input message (none when message is 0). Left alone, it ends itself
// with kUnanswered after 400 ms.
class ProbeIstDlg : public IST_DLG {
public:
    ProbeIstDlg(const char* commandLine, Seen* seen, UINT message = 0, WPARAM wParam = 0)
        : IST_DLG(nullptr, "Ce programme va lancer l'installation de :\r\n\r\nProduit", commandLine),
          seen_(seen), message_(message), wParam_(wParam) {}
    void OnInitDialog(MessageRecord* record) override {
        IST_DLG::OnInitDialog(record);
        Note(window, seen_);
        SetTimer(window, kAnswerTimer, 400, nullptr);
        if (message_ != 0) PostMessageA(window, message_, wParam_, 0);
    }
    void OnTimer(MessageRecord*) override { EndDialog(window, kUnanswered); }

private:
    Seen* seen_;
    UINT message_;
    WPARAM wParam_;
};

INT_PTR Confirm(const char* commandLine, UINT message = 0, WPARAM wParam = 0) {
    Seen seen;
    return RunDialog(new ProbeIstDlg(commandLine, &seen, message, wParam), 1);
}

TEST(ConfirmationDialog, AutoOneAnywhereConfirmsByItself) {
    for (const char* line : {"auto=1", "/s auto=1 /x", "xauto=12", "auto=1auto"}) {
        EXPECT_EQ(Confirm(line), 1) << line;
    }
}

TEST(ConfirmationDialog, OtherSpellingsWaitForTheUser) {
    const std::string late = std::string(260, 'x') + " auto=1";  // beyond 255 characters
    for (const char* line : {"", "AUTO=1", "auto = 1", "auto=", "Auto=1", late.c_str()}) {
        EXPECT_EQ(Confirm(line), kUnanswered) << line;
    }
    EXPECT_EQ(Confirm(nullptr), kUnanswered);
}

TEST(ConfirmationDialog, EnterConfirmsEscapeAndCloseQuit) {
    EXPECT_EQ(Confirm("", WM_KEYDOWN, VK_RETURN), 1);
    EXPECT_EQ(Confirm("", WM_KEYDOWN, VK_ESCAPE), 0);
    EXPECT_EQ(Confirm("", WM_CLOSE), 0);
    EXPECT_EQ(Confirm("", WM_SYSCOMMAND, SC_CLOSE), 0);
    EXPECT_EQ(Confirm("", WM_COMMAND, IDCANCEL), 0);
}

TEST(ConfirmationDialog, ShowsTheTextCentredWithBothButtons) {
    Seen seen;
    ASSERT_EQ(RunDialog(new ProbeIstDlg("auto=1", &seen), 1), 1);
    EXPECT_EQ(seen.text, "Ce programme va lancer l'installation de :\r\n\r\nProduit");
    EXPECT_TRUE(seen.okVisible);
    EXPECT_TRUE(seen.quitVisible);
    const int w = seen.rect.right - seen.rect.left;
    const int h = seen.rect.bottom - seen.rect.top;
    EXPECT_EQ(seen.rect.left, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
    EXPECT_EQ(seen.rect.top, (GetSystemMetrics(SM_CYSCREEN) - h) / 2);
    // 282 x 57 dialog units in the template's font: wider than high.
    EXPECT_GT(w, 2 * h);
}

class ProbeExtractDlg : public CtExtractDlg {
public:
    ProbeExtractDlg(CtTempFolder* folder, const CtArchive* archive, CtExtractReport* report,
                    Seen* seen)
        : CtExtractDlg(nullptr, folder, archive, "", report), seen_(seen) {}
    void OnInitDialog(MessageRecord* record) override {
        CtExtractDlg::OnInitDialog(record);
        Note(window, seen_);
    }

private:
    Seen* seen_;
};

TEST(ExtractionDialog, RunsByItselfAndEndsWithOne) {
    TempRoot root("dialog");
    TestPayload payload;
    payload.Stored("file.txt", "content");
    CtArchive archive(payload.image.data(), static_cast<int32_t>(payload.image.size()));
    CtTempFolder folder;
    CtExtractReport report;
    Seen seen;
    GuiGuard guard(5000);
    EXPECT_EQ(RunDialog(new ProbeExtractDlg(&folder, &archive, &report, &seen), 1), 1);
    EXPECT_FALSE(guard.expired);
    folder.Release();
    EXPECT_EQ(std::string(folder.path), root.Path("tmp_vel"));
    EXPECT_EQ(ReadWholeFile(root.Path("tmp_vel\\file.txt")), "content");
    EXPECT_EQ(seen.text, "... pr\xE9" "paration de l'installation ...");
    EXPECT_FALSE(seen.okVisible);
    EXPECT_FALSE(seen.quitVisible);
    const int w = seen.rect.right - seen.rect.left;
    EXPECT_EQ(seen.rect.left, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
}

TEST(ExtractionDialog, EndsWithZeroWhenTheFolderCannotBeHad) {
    TempRoot root("dialogfail");
    ASSERT_TRUE(WriteWholeFile(root.Path("tmp_vel"), "in the way"));
    TestPayload payload;
    CtArchive archive(payload.image.data(), static_cast<int32_t>(payload.image.size()));
    CtTempFolder folder;
    CtExtractReport report;
    Seen seen;
    GuiGuard guard(5000);
    EXPECT_EQ(RunDialog(new ProbeExtractDlg(&folder, &archive, &report, &seen), 1), 0);
    EXPECT_FALSE(guard.expired);
    EXPECT_EQ(report.failure, CtExtractReport::kNoFolder);
}

// What a program of the folder is started with, as CreateProcessA gets it
// (Wine quotes a missing command line itself, so only here is it seen).
std::string startedApplication;
std::string startedCommand;
BOOL WINAPI NoteStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                      LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                      LPPROCESS_INFORMATION) {
    startedApplication = application;
    startedCommand = commandLine != nullptr ? commandLine : "(null)";
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

TEST(FolderProgram, BothProgramsGetTheirPathQuotedThenTheirArguments) {
    const char* folder = "C:\\Users\\Jean Dupont\\AppData\\Local\\Temp\\tmp_vel";
    const std::string path = std::string(folder) + "\\AutoInst_x.exe";
    int32_t started = 1;
    EXPECT_EQ(StartFromFolder(folder, "AutoInst_x.exe", nullptr, 1, nullptr, &started, NoteStart),
              0u);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(startedApplication, path);
    EXPECT_EQ(startedCommand, "\"" + path + "\"");
    const std::string withSlash = std::string(folder) + "\\";
    StartFromFolder(withSlash.c_str(), "install.exe", "auto=1 \"a b\"", 0, nullptr, &started,
                    NoteStart);
    EXPECT_EQ(startedCommand, "\"" + withSlash + "install.exe\" auto=1 \"a b\"");
}

TEST(ExtractionMessage, SaysWhatTheSystemSaid) {
    char detail[64];
    const struct {
        uint32_t error;
        const char* said;
    } cases[] = {
        {ERROR_DISK_FULL, " : espace disque insuffisant."},
        {ERROR_HANDLE_DISK_FULL, " : espace disque insuffisant."},
        {ERROR_SHARING_VIOLATION, " : le fichier est utilis\xE9 par un autre programme."},
        {ERROR_ACCESS_DENIED, " : acc\xE8s refus\xE9."},
        {ERROR_INVALID_DATA, " : son contenu est endommag\xE9."},
        {ERROR_NOT_ENOUGH_MEMORY, " : m\xE9moire insuffisante."},
        {ERROR_PATH_NOT_FOUND, " (erreur syst\xE8me 3)."},
    };
    for (const auto& c : cases) {
        EntryFailureDetail(c.error, detail, sizeof detail);
        EXPECT_STREQ(detail, c.said) << c.error;
    }
}

TEST(Appli, VersionComesFromTheProgramStamp) {
    char version[5];
    APPLI::ReadVersion(version);
    EXPECT_STREQ(version, "1.0a");
}

TEST(StubResources, TheConfirmationTemplateIsFrenchAnd208Bytes) {
    HRSRC found = FindResourceExA(nullptr, RT_DIALOG, "AUTO_IST",
                                  MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, found), 208u);
    HRSRC logo = FindResourceExA(nullptr, RT_BITMAP, "VEL_L",
                                 MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    ASSERT_NE(logo, nullptr);
    const BITMAPINFOHEADER* header =
        static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, logo)));
    EXPECT_EQ(header->biWidth, 229);
    EXPECT_EQ(header->biHeight, 113);
    EXPECT_EQ(header->biBitCount, 8);
    // Run-length encoded: 4.5 KB of the stub instead of 27 KB. That Windows
    // draws it is checked on the screen, by the end-to-end screenshots.
    EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RLE8));
    // The bare stub's archive: a header whose first record would start at 4.
    HRSRC data = FindResourceA(nullptr, MAKEINTRESOURCEA(1), "EXE_DATA");
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, data), 4u);
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, data)));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 4), std::string("\x04\0\0\0", 4));
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), "G_ICON");
    EXPECT_NE(icon, nullptr);
    for (int size : {16, 32}) {
        HICON sized = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), "G_ICON", IMAGE_ICON, size, size, 0));
        ASSERT_NE(sized, nullptr) << size;
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(sized, &info));
        BITMAP bitmap;
        GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(sized);
    }
}

}  // namespace
