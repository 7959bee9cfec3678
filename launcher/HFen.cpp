#include "launcher/HFen.h"

#include <new>

#include "archive/CtArchive.h"
#include "archive/CtFormat.h"
#include "launcher/EntryName.h"
#include "app/Main.h"
#include "framework/MainInstance.h"
#include "launcher/CtExtractDlg.h"
#include "launcher/IstDlg.h"
#include "launcher/IstPlan.h"
#include "services/StartProgram.h"
#include "services/Text.h"

char SavedCommandLine[512];

namespace {

// What the user reads when the run stops; the name of a file or program
// stands for %s.
const char kDamagedText[] =
    "Le programme d'installation est endommag\xE9. T\xE9l\xE9" "chargez-le de nouveau.";
const char kNoTempFolderText[] =
    "Le dossier temporaire est inutilisable : l'installation ne peut pas continuer.";
const char kEntryText[] =
    "Le fichier %s n'a pas pu \xEAtre extrait dans le dossier temporaire (espace disque "
    "insuffisant ?).";
const char kExtractionText[] = "L'extraction des fichiers d'installation n'a pas pu commencer.";
const char kNotStartedText[] = "Le programme %s n'a pas pu \xEAtre lanc\xE9.";

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
    // Every record is checked before anything is asked, deleted or written:
    // a download cut short or damaged starts nothing.
    int32_t damaged = 0;
    if (archive.FirstDamage(&damaged) != kCtSound) {
        return Fail(commandLine, kExitDamaged, kDamagedText, nullptr);
    }
    IST_PLAN plan;
    plan.DrawUp(archive);

    const bool hasTitle = plan.title[0] != 0;
    const bool hasProgram = plan.program[0] != 0;
    if (!hasTitle && !hasProgram) {
        // Shown as it always was, "auto=1" or not.
        ShowMessage("Aucune information d'installation !", MB_OK);
        return Ended(kExitNoInformation);
    }
    // A program whose name would not be written is not run either.
    if (hasProgram && EntryNameStaysInside(plan.program) == 0) {
        return Fail(commandLine, kExitNotStarted, kNotStartedText, plan.program);
    }
    if (hasTitle) {
        char text[512];
        int32_t at = 0;
        TextCopy(text, "Ce programme va lancer l'installation de :\r\n\r\n", sizeof text, &at);
        TextCopy(text, plan.title, sizeof text, &at);
        // Only OK (1) goes on: "Quitter" is 0, and a dialog that could not
        // be created at all (-1) has asked nobody.
        if (RunDialog(new (std::nothrow) IST_DLG(this, text, commandLine), 1) != 1) return 0;
    }

    char folder[kPathCapacity];
    folder[0] = 0;
    CtExtractReport report;
    if (RunDialog(new (std::nothrow) CtExtractDlg(this, folder, sizeof folder, &archive, &report),
                  1) != 1) {
        if (report.failure == CtExtractReport::kNoFolder) {
            return Fail(commandLine, kExitNoTempFolder, kNoTempFolderText, nullptr);
        }
        if (report.failure == CtExtractReport::kEntryFailed) {
            return Fail(commandLine, kExitExtraction, kEntryText, report.name);
        }
        // The dialog could not even be made.
        return Fail(commandLine, kExitExtraction, kExtractionText, nullptr);
    }
    if (TextLength(folder) == 0 || folder[TextLength(folder) - 1] != '\\') {
        if (TextAppendBounded(folder, sizeof folder, "\\") < 0) {
            return Fail(commandLine, kExitNoTempFolder, kNoTempFolderText, nullptr);
        }
    }

    if (hasProgram) {
        char program[kPathCapacity];
        TextCopy(program, folder, sizeof program, nullptr);
        // The extraction left room for any entry name behind the folder.
        TextAppendBounded(program, sizeof program, plan.program);
        int32_t started = 0;
        const uint32_t code = StartProgram(program, nullptr, 1, MAIN_INSTANCE::Current, &started);
        // Asked to close while it waited (the quit message is taken): the
        // installation goes no further.
        if (MAIN::QuitSeen != 0) return Ended(kExitInterrupted);
        if (started == 0) return Fail(commandLine, kExitNotStarted, kNotStartedText, plan.program);
        // Exit code 0: the program has done the installation itself.
        if (code == 0) return 0;
    }
    if (!hasTitle) return 1;

    // The installer's path is quoted: temporary folders often hold blanks
    // ("C:\Documents and Settings\..."), and unquoted Windows would first
    // try to run "C:\Documents.exe". Its arguments are the launcher's own,
    // whole.
    char installer[kPathCapacity];
    TextCopy(installer, folder, sizeof installer, nullptr);
    TextAppendBounded(installer, sizeof installer, kCtInstaller);
    char command[kCommandCapacity];
    int32_t at = 0;
    TextCopy(command, "\"", sizeof command, &at);
    TextCopy(command, installer, sizeof command, &at);
    TextCopy(command, "\"", sizeof command, &at);
    if (commandLine != nullptr && commandLine[0] != 0) {
        TextCopy(command, " ", sizeof command, &at);
        TextCopy(command, commandLine, sizeof command, &at);
    }
    if (WinExec(command, SW_SHOW) > 31) return 1;
    // Named like an installer, it asks for elevation, which a launcher that
    // is not elevated cannot give: the shell asks the user.
    if (GetLastError() == kErrorElevationRequired &&
        StartThroughShell(installer, commandLine, 0, nullptr) != 0) {
        return 1;
    }
    return Fail(commandLine, kExitNotStarted, kNotStartedText, kCtInstaller);
}

int32_t H_FEN::Fail(const char* commandLine, int32_t code, const char* text, const char* name) {
    // An unattended run never waits for a click: its exit code tells.
    if (CommandLineIsUnattended(commandLine) == 0) {
        char message[256];
        int32_t at = 0;
        // The name stands where the text says "%s"; the texts are shorter
        // than the message buffer.
        const int32_t mark = name != nullptr ? TextFind(text, "%s", 1, 0) : 0;
        if (mark == 0) {
            TextCopy(message, text, sizeof message, &at);
        } else {
            TextCopy(message, text, mark, &at);
            TextCopy(message, name, sizeof message, &at);
            TextCopy(message, text + mark + 1, sizeof message, &at);
        }
        ShowMessage(message, MB_OK);
    }
    return Ended(code);
}

int32_t H_FEN::Ended(int32_t code) {
    if (MAIN_INSTANCE::Current != nullptr) MAIN_INSTANCE::Current->resultCode = code;
    return 0;
}
