// The confirmation dialog: "Ce programme va lancer l'installation de :" and
// the product title, with "OK" and "Quitter". With "auto=1" in the command
// line it confirms itself as soon as its loop runs.
#ifndef VEL_LAUNCHER_ISTDLG_H
#define VEL_LAUNCHER_ISTDLG_H

#include <cstdint>

#include "framework/MDialog.h"

// 1 when "auto=1" stands in the first 255 characters of commandLine (null:
// none), exactly and in this case: the run is unattended. The confirmation
// answers itself, and no message box waits for a click.
int32_t CommandLineIsUnattended(const char* commandLine);
// The same for "wait=1": the launcher waits for install.exe and ends with
// its exit code.
int32_t CommandLineWaits(const char* commandLine);

class IST_DLG : public M_DIALOG {
public:
    // Built on the template "AUTO_IST"; message is the formatted text,
    // commandLine the launcher's (null for none).
    IST_DLG(FEN_OBJ* parent, const char* message, const char* commandLine);
    ~IST_DLG() override;

    void OnInitDialog(MessageRecord* record) override;

    char commandLine[256];  // only "auto=1" in its first 255 characters counts
    char message[512];
};

#endif
