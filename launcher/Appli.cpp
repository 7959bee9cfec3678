#include "launcher/Appli.h"

#include <new>

#include "launcher/HFen.h"
#include "launcher/SerialRef.h"
#include "services/Text.h"

namespace {
// The stamp's product field: six fields of 4, 4, 2, 4, 2 and 6 characters;
// the fourth, at 10, is the version.
const int32_t kProductLength = 22;
const int32_t kVersionAt = 10;
const int32_t kVersionLength = 4;
}  // namespace

APPLI::APPLI(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine,
             int32_t showCommand)
    : MAIN("VelExe", instance, previousInstance, commandLine, showCommand) {}

void APPLI::ReadVersion(char* version) {
    SERIAL_REF stamp;
    stamp.Load(nullptr, 0, 256);
    char product[kProductLength];
    const int32_t n = stamp.GetValue("Z000", product, kProductLength);
    int32_t v = 0;
    for (int32_t i = kVersionAt; i < n && v < kVersionLength && product[i] != 0; ++i) {
        version[v++] = product[i];
    }
    version[v] = 0;
}

int32_t APPLI::CreateMainWindow() {
    char version[kVersionLength + 1];
    ReadVersion(version);
    int32_t at = 0;
    TextCopy(MAIN_INSTANCE::name, "Velmar Informatique. Quillon ", sizeof MAIN_INSTANCE::name,
             &at);
    TextCopy(MAIN_INSTANCE::name, version, sizeof MAIN_INSTANCE::name, &at);
    mainWindow = new (std::nothrow) H_FEN(MAIN_INSTANCE::name);
    return 0;
}

int32_t APPLI::ShowCommand() { return SW_HIDE; }
