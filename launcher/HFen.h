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
    kExitNotStarted = 5,      // the program or install.exe could not be started
    kExitNoWindow = MAIN::kNoMainWindowResult,  // the launcher could not make its window
    kExitInterrupted = 7,     // asked to close while it waited for the program
    kExitBusy = 8,            // another installation runs, or runs from tmp_vel: nothing deleted
};

class H_FEN : public MAIN_FENETRE {
public:
    // Creates the native window at once and hides it; it is never shown.
    explicit H_FEN(const char* title);

    void OnCreated() override;
    void DoCommand(MessageRecord* record) override;

    // The installation sequence: the payload's check, plan, confirmation,
    // extraction, the "AutoInst_" program, install.exe. 1 when it went
    // through, 0 when it stopped; the caller closes the window either way.
    // A run that stops on a failure says why (unless the command line holds
    // "auto=1") and sets the exit code (LauncherExit).
    int32_t RunInstallation(const char* commandLine);

private:
    // Shows text, with name for its "%s", in a message box owned by this
    // window, unless the run is unattended; then Ended(code).
    int32_t Fail(const char* commandLine, int32_t code, const char* text, const char* name);
    // Sets the exit code; answers 0, the stopped sequence's result.
    int32_t Ended(int32_t code);
};

#endif
