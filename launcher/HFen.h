// The launcher's hidden main window. As soon as it exists it posts itself
// command 400; handling that command runs the whole installation and then
// closes the window, which ends the message loop and the process.
#ifndef VEL_LAUNCHER_HFEN_H
#define VEL_LAUNCHER_HFEN_H

#include <cstdint>

#include "app/Main.h"
#include "app/MainFenetre.h"

// The launcher's command line, kept at start-up (at most 511 characters).
extern char SavedCommandLine[512];

// The launcher's exit codes (its application's resultCode), for unattended
// installations that read them.
enum LauncherExit : int32_t {
    kExitDone = 0,            // the steps ran; also "Quitter", a choice
    kExitNoInformation = 1,   // neither title nor program in the payload
    kExitDamaged = 2,         // a record of the payload is damaged: nothing started
    kExitNoTempFolder = 3,    // no usable temporary folder: nothing deleted or written
    kExitExtraction = 4,      // an entry could not be written whole
    kExitNotStarted = 5,      // the program or install.exe could not be started (or waited for)
    kExitNoWindow = MAIN::kNoMainWindowResult,  // no window or dialog could be made
    kExitInterrupted = 7,     // asked to close (closed, log-off) before it was done
    kExitBusy = 8,            // another installation runs, or runs from tmp_vel: nothing deleted
};
// With "wait=1" the launcher ends with install.exe's own exit code, once
// install.exe has been started: these codes then come from install.exe.

// What the message of an entry that could not be written adds to its name:
// the system's reason, in words for the usual ones (disk full, file in use,
// access denied, a content that does not decode, no memory), else its
// number. Into detail, of capacity bytes.
void EntryFailureDetail(uint32_t error, char* detail, int32_t capacity);

class H_FEN : public MAIN_FENETRE {
public:
    // Creates the native window at once and hides it; it is never shown.
    explicit H_FEN(const char* title);

    void OnCreated() override;
    void DoCommand(MessageRecord* record) override;
    // A close of the window or of the session while the installation runs:
    // the dialog of the moment is ended (never deleted under itself), the
    // installation stops before anything else starts (kExitInterrupted),
    // and the launcher then ends, as CanQuit agrees. WM_QUERYENDSESSION is
    // answered with CanQuit's answer.
    void OnClose(MessageRecord* record) override;
    void OnQueryEndSession(MessageRecord* record) override;

    // The installation sequence: the payload's check, plan, confirmation,
    // extraction, the "AutoInst_" program, install.exe. 1 when it went
    // through, 0 when it stopped; the caller closes the window either way.
    // A run that stops on a failure says why (unless the command line holds
    // "auto=1") and sets the exit code (LauncherExit).
    int32_t RunInstallation(const char* commandLine);

private:
    // Shows text, with name for its "%s" and detail behind it, in a message
    // box owned by this window, unless the run is unattended; then
    // Ended(code).
    int32_t Fail(const char* commandLine, int32_t code, const char* text, const char* name,
                 const char* detail = nullptr);
    // Sets the exit code; answers 0, the stopped sequence's result.
    int32_t Ended(int32_t code);
    // Whether the run was asked to close while the installation ran.
    bool CloseAsked() const;

    bool installing_;   // inside RunInstallation
    bool closeAsked_;   // a close or log-off came meanwhile
};

#endif
