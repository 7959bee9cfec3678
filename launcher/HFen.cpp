#include "launcher/HFen.h"

#include <new>

#include "archive/CtArchive.h"
#include "archive/CtFormat.h"
#include "launcher/EntryName.h"
#include "app/Main.h"
#include "framework/MainInstance.h"
#include "launcher/CtExtractDlg.h"
#include "launcher/CtTempFolder.h"
#include "launcher/FolderProgram.h"
#include "launcher/IstDlg.h"
#include "launcher/IstPlan.h"
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
const char kBusyText[] =
    "Une autre installation est en cours. R\xE9" "essayez lorsqu'elle sera termin\xE9" "e.";
const char kInUseText[] =
    "Le fichier %s du dossier temporaire est encore utilis\xE9 : une autre installation est "
    "peut-\xEAtre en cours. R\xE9" "essayez lorsqu'elle sera termin\xE9" "e.";

const int32_t kInstallCommand = 400;

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

    // One run at a time in the session: another launcher empties, writes or
    // starts from the same folder.
    CtTempFolder folder;
    if (folder.Lock() == 0) return Fail(commandLine, kExitBusy, kBusyText, nullptr);
    CtExtractReport report;
    if (RunDialog(new (std::nothrow) CtExtractDlg(this, &folder, &archive, plan.program, &report),
                  1) != 1) {
        switch (report.failure) {
            case CtExtractReport::kNoFolder:
                return Fail(commandLine, kExitNoTempFolder, kNoTempFolderText, nullptr);
            case CtExtractReport::kInUse:
                return Fail(commandLine, kExitBusy, kInUseText, report.name);
            case CtExtractReport::kEntryFailed:
                return Fail(commandLine, kExitExtraction, kEntryText, report.name);
            default:
                // The dialog could not even be made.
                return Fail(commandLine, kExitExtraction, kExtractionText, nullptr);
        }
    }

    // Only what this run wrote is started: anything else in the folder was
    // put there by someone else.
    if (hasProgram) {
        if (report.wroteProgram == 0) {
            return Fail(commandLine, kExitNotStarted, kNotStartedText, plan.program);
        }
        int32_t started = 0;
        const uint32_t code = StartFromFolder(folder.path, plan.program, nullptr, 1,
                                              MAIN_INSTANCE::Current, &started);
        // Asked to close while it waited (the quit message is taken): the
        // installation goes no further.
        if (MAIN::QuitSeen != 0) return Ended(kExitInterrupted);
        if (started == 0) return Fail(commandLine, kExitNotStarted, kNotStartedText, plan.program);
        // Exit code 0: the program has done the installation itself.
        if (code == 0) return 0;
    }
    if (!hasTitle) return 1;
    if (report.wroteInstaller == 0) {
        return Fail(commandLine, kExitNotStarted, kNotStartedText, kCtInstaller);
    }
    // Its arguments are the launcher's own, whole. The folder and the files
    // stay held until it has started.
    char installer[kFolderPathCapacity];
    char command[kFolderCommandCapacity];
    if (FolderCommand(folder.path, kCtInstaller, commandLine, installer, command) != 0) {
        if (WinExec(command, SW_SHOW) > 31) return 1;
        // Named like an installer, it asks for elevation, which a launcher
        // that is not elevated cannot give: the shell asks the user.
        if (GetLastError() == kErrorElevationRequired &&
            StartThroughShell(installer, commandLine, 0, nullptr) != 0) {
            return 1;
        }
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
