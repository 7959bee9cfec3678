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
// The entry's name, then what EntryFailureDetail says.
const char kEntryText[] = "Le fichier %s n'a pas pu \xEAtre extrait dans le dossier temporaire";
const char kWindowText[] = "La fen\xEAtre de l'installation n'a pas pu \xEAtre affich\xE9" "e.";
const char kNotStartedText[] = "Le programme %s n'a pas pu \xEAtre lanc\xE9.";
const char kNotFollowedText[] =
    "Le programme %s a \xE9t\xE9 lanc\xE9, mais sa fin ne peut pas \xEAtre attendue.";
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

void EntryFailureDetail(uint32_t error, char* detail, int32_t capacity) {
    const char* reason = nullptr;
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: reason = " : espace disque insuffisant."; break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            reason = " : le fichier est utilis\xE9 par un autre programme.";
            break;
        case ERROR_ACCESS_DENIED: reason = " : acc\xE8s refus\xE9."; break;
        case ERROR_INVALID_DATA: reason = " : son contenu est endommag\xE9."; break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: reason = " : m\xE9moire insuffisante."; break;
        default: break;
    }
    if (reason != nullptr) {
        TextCopy(detail, reason, capacity, nullptr);
        return;
    }
    char digits[13];
    int32_t at = 0;
    TextCopy(detail, " (erreur syst\xE8me ", capacity, &at);
    TextCopy(detail, NumberToText(error, digits, 10), capacity, &at);
    TextCopy(detail, ").", capacity, &at);
}

H_FEN::H_FEN(const char* title) : MAIN_FENETRE(title), installing_(false), closeAsked_(false) {
    Create();
    ShowWindow(window, SW_HIDE);
}

void H_FEN::OnCreated() { PostMessageA(window, WM_COMMAND, kInstallCommand, 0); }

void H_FEN::DoCommand(MessageRecord* record) {
    if (LOWORD(record->wParam) != kInstallCommand) return;
    installing_ = true;
    RunInstallation(SavedCommandLine);
    installing_ = false;
    PostMessageA(window, WM_CLOSE, 0, 0);
}

void H_FEN::OnClose(MessageRecord* record) {
    if (installing_) closeAsked_ = true;
    // A dialog that runs ends and answers 0: the window then stays until
    // the installation has stopped and closes it.
    MAIN_FENETRE::OnClose(record);
}

void H_FEN::OnQueryEndSession(MessageRecord* record) {
    if (!installing_) {
        FENETRE::OnQueryEndSession(record);
        return;
    }
    if (CurrentInstanceCanQuit() == 0) return;
    closeAsked_ = true;
    CloseTree(1);
    record->result = 1;
}

bool H_FEN::CloseAsked() const { return closeAsked_ || MAIN::QuitSeen != 0; }

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
        IST_DLG* confirmation = new (std::nothrow) IST_DLG(this, text, commandLine);
        // A dialog that could not be made (no memory, no resources: -1) has
        // asked nobody.
        const INT_PTR answer = confirmation != nullptr ? RunDialog(confirmation, 1) : -1;
        if (answer == -1) return Fail(commandLine, kExitNoWindow, kWindowText, nullptr);
        if (CloseAsked()) return Ended(kExitInterrupted);
        // Only OK (1) goes on: "Quitter" is 0.
        if (answer != 1) return 0;
    }

    // One run at a time in the session: another launcher empties, writes or
    // starts from the same folder.
    CtTempFolder folder;
    if (folder.Lock() == 0) return Fail(commandLine, kExitBusy, kBusyText, nullptr);
    CtExtractReport report;
    CtExtractDlg* extraction =
        new (std::nothrow) CtExtractDlg(this, &folder, &archive, plan.program, &report);
    const INT_PTR extracted = extraction != nullptr ? RunDialog(extraction, 1) : -1;
    if (CloseAsked() || report.failure == CtExtractReport::kInterrupted) {
        return Ended(kExitInterrupted);
    }
    if (extracted != 1) {
        char detail[64];
        switch (report.failure) {
            case CtExtractReport::kNoFolder:
                return Fail(commandLine, kExitNoTempFolder, kNoTempFolderText, nullptr);
            case CtExtractReport::kInUse:
                return Fail(commandLine, kExitBusy, kInUseText, report.name);
            case CtExtractReport::kEntryFailed:
                EntryFailureDetail(report.error, detail, sizeof detail);
                return Fail(commandLine, kExitExtraction, kEntryText, report.name, detail);
            default:
                // The dialog could not even be made.
                return Fail(commandLine, kExitNoWindow, kWindowText, nullptr);
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
        // Asked to close while it waited: the installation goes no further.
        if (CloseAsked()) return Ended(kExitInterrupted);
        if (started == 0) return Fail(commandLine, kExitNotStarted, kNotStartedText, plan.program);
        // Started through the shell without its process: it may still run,
        // and install.exe must not start beside it.
        if (started == kStartedUnfollowed) {
            return Fail(commandLine, kExitNotStarted, kNotFollowedText, plan.program);
        }
        // Exit code 0: the program has done the installation itself.
        if (code == 0) return 0;
    }
    if (!hasTitle) return 1;
    if (report.wroteInstaller == 0) {
        return Fail(commandLine, kExitNotStarted, kNotStartedText, kCtInstaller);
    }
    // Its arguments are the launcher's own, whole; a console program gets a
    // console of its own, as WinExec would give it. The folder and the
    // files stay held until it has started.
    int32_t started = 0;
    H_PROCESS installer;
    StartFromFolder(folder.path, kCtInstaller, commandLine, 0, nullptr, &started, CreateProcessA,
                    &installer, 0);
    folder.Release();
    if (started == 0) return Fail(commandLine, kExitNotStarted, kNotStartedText, kCtInstaller);
    if (CommandLineWaits(commandLine) == 0) return 1;
    // wait=1: the launcher ends with install.exe's own exit code, for the
    // deployment tools that take the launcher's end as the installation's.
    if (started == kStartedUnfollowed) {
        return Fail(commandLine, kExitNotStarted, kNotFollowedText, kCtInstaller);
    }
    const uint32_t code = installer.Wait(MAIN_INSTANCE::Current);
    if (CloseAsked()) return Ended(kExitInterrupted);
    Ended(static_cast<int32_t>(code));
    return 1;
}

int32_t H_FEN::Fail(const char* commandLine, int32_t code, const char* text, const char* name,
                    const char* detail) {
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
        if (detail != nullptr) TextCopy(message, detail, sizeof message, &at);
        ShowMessage(message, MB_OK);
    }
    return Ended(code);
}

int32_t H_FEN::Ended(int32_t code) {
    if (MAIN_INSTANCE::Current != nullptr) MAIN_INSTANCE::Current->resultCode = code;
    return 0;
}
