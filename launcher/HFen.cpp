#include "launcher/HFen.h"

#include <new>

#include "archive/CtArchive.h"
#include "archive/CtFormat.h"
#include "framework/MainInstance.h"
#include "launcher/CtExtractDlg.h"
#include "launcher/IstDlg.h"
#include "launcher/IstPlan.h"
#include "services/StartProgram.h"
#include "services/Text.h"

char SavedCommandLine[512];

namespace {

const int32_t kInstallCommand = 400;
const int32_t kPathCapacity = 256;
// The quoted installer path, a blank and the whole saved command line.
const int32_t kCommandCapacity = kPathCapacity + 16 + sizeof SavedCommandLine;

// The archive carried as the payload resource. Without one the view is
// empty, which the plan takes as an archive without entries.
CtArchive LocateArchive() {
    HINSTANCE module = CurrentInstanceHandle();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kCtPayloadId), kCtPayloadType);
    if (found == nullptr) return CtArchive(nullptr, 0);
    HGLOBAL loaded = LoadResource(module, found);
    const void* base = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (base == nullptr) return CtArchive(nullptr, 0);
    return CtArchive(base, static_cast<int32_t>(SizeofResource(module, found)));
}

}  // namespace

H_FEN::H_FEN(const char* title) : MAIN_FENETRE(title) {
    Create();
    ShowWindow(window, SW_HIDE);
}

void H_FEN::OnCreated() { PostMessageA(window, WM_COMMAND, kInstallCommand, 0); }

void H_FEN::DoCommand(MessageRecord* record) {
    if (LOWORD(record->wParam) != kInstallCommand) return;
    RunInstallation(SavedCommandLine);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

int32_t H_FEN::RunInstallation(const char* commandLine) {
    // The resource stays loaded for the life of the process.
    const CtArchive archive = LocateArchive();
    IST_PLAN plan;
    plan.DrawUp(archive);

    const bool hasTitle = plan.title[0] != 0;
    const bool hasProgram = plan.program[0] != 0;
    if (hasTitle) {
        char text[512];
        int32_t at = 0;
        TextCopy(text, "Ce programme va lancer l'installation de :\r\n\r\n", sizeof text, &at);
        TextCopy(text, plan.title, sizeof text, &at);
        // Only OK (1) goes on: "Quitter" is 0, and a dialog that could not
        // be created at all (-1) has asked nobody.
        if (RunDialog(new (std::nothrow) IST_DLG(this, text, commandLine), 1) != 1) return 0;
    } else if (!hasProgram) {
        ShowMessage("Aucune information d'installation !", MB_OK);
        return 0;
    }

    char folder[kPathCapacity];
    folder[0] = 0;
    if (RunDialog(new (std::nothrow) CtExtractDlg(this, folder, sizeof folder, &archive), 1) !=
        1) {
        return 0;
    }
    if (TextLength(folder) == 0 || folder[TextLength(folder) - 1] != '\\') {
        if (TextAppendBounded(folder, sizeof folder, "\\") < 0) return 0;
    }

    if (hasProgram) {
        char program[kPathCapacity];
        TextCopy(program, folder, sizeof program, nullptr);
        // The extraction left room for any entry name behind the folder.
        if (TextAppendBounded(program, sizeof program, plan.program) < 0) return 0;
        // 0: it did not start, or it ended with exit code 0 and has done
        // the installation itself.
        if (StartProgram(program, nullptr, 1, MAIN_INSTANCE::Current) == 0) return 0;
    }
    if (!hasTitle) return 1;

    // The installer's path is quoted: temporary folders often hold blanks
    // ("C:\Documents and Settings\..."), and unquoted Windows would first
    // try to run "C:\Documents.exe". Its arguments are the launcher's own,
    // whole.
    char command[kCommandCapacity];
    int32_t at = 0;
    TextCopy(command, "\"", sizeof command, &at);
    TextCopy(command, folder, sizeof command, &at);
    TextCopy(command, kCtInstaller, sizeof command, &at);
    TextCopy(command, "\"", sizeof command, &at);
    if (commandLine != nullptr && commandLine[0] != 0) {
        TextCopy(command, " ", sizeof command, &at);
        TextCopy(command, commandLine, sizeof command, &at);
    }
    WinExec(command, SW_SHOW);
    return 1;
}
