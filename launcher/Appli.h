// The launcher's application object: named "VelExe", it reads the reference
// stamp for the version in its title and creates the hidden main window.
#ifndef VEL_LAUNCHER_APPLI_H
#define VEL_LAUNCHER_APPLI_H

#include <cstdint>

#include "app/Main.h"

class APPLI : public MAIN {
public:
    APPLI(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine,
          int32_t showCommand);

    // Title "Velmar Informatique. Quillon <version>" into the application
    // name (every message box's caption from then on), then the hidden main
    // window. Answers 0.
    int32_t CreateMainWindow() override;
    // The main window is never shown.
    int32_t ShowCommand() override;

    // Characters 10 to 13 of the stamp's "Z000" value (those that exist), or
    // an empty text without a stamp or value. version holds 5 bytes.
    static void ReadVersion(char* version);
};

#endif
