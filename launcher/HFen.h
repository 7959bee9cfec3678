// The launcher's hidden main window. As soon as it exists it posts itself
// command 400; handling that command runs the whole installation and then
// closes the window, which ends the message loop and the process.
#ifndef VEL_LAUNCHER_HFEN_H
#define VEL_LAUNCHER_HFEN_H

#include <cstdint>

#include "app/MainFenetre.h"

// The launcher's command line, kept at start-up (at most 511 characters).
extern char SavedCommandLine[512];

class H_FEN : public MAIN_FENETRE {
public:
    // Creates the native window at once and hides it; it is never shown.
    explicit H_FEN(const char* title);

    void OnCreated() override;
    void DoCommand(MessageRecord* record) override;

    // The installation sequence: plan, confirmation, extraction, the
    // "AutoInst_" program, install.exe. 1 when it went through, 0 when it
    // stopped; the caller closes the window either way.
    int32_t RunInstallation(const char* commandLine);
};

#endif
