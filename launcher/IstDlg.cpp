#include "launcher/IstDlg.h"

#include "launcher/StubResources.h"
#include "services/Text.h"

namespace {
const char kUnattended[] = "auto=1";
const char kWaiting[] = "wait=1";
// The dialog keeps this much of the command line; the marks count there.
const int32_t kLookedAt = 256;

int32_t CommandLineHas(const char* commandLine, const char* mark) {
    if (commandLine == nullptr) return 0;
    char head[kLookedAt];
    TextCopy(head, commandLine, sizeof head, nullptr);
    // Exact and case-sensitive, anywhere in the line: "xauto=12" confirms,
    // "AUTO=1" or "auto = 1" does not.
    return TextFind(head, mark, 1, 0) != 0 ? 1 : 0;
}
}  // namespace

int32_t CommandLineIsUnattended(const char* commandLine) {
    return CommandLineHas(commandLine, kUnattended);
}

int32_t CommandLineWaits(const char* commandLine) { return CommandLineHas(commandLine, kWaiting); }

IST_DLG::IST_DLG(FEN_OBJ* parent, const char* message, const char* commandLine)
    : M_DIALOG(parent, kStubDialog) {
    this->commandLine[0] = 0;
    if (commandLine != nullptr) TextCopy(this->commandLine, commandLine, sizeof this->commandLine, nullptr);
    this->message[0] = 0;
    TextCopy(this->message, message, sizeof this->message, nullptr);
}

IST_DLG::~IST_DLG() {}

void IST_DLG::OnInitDialog(MessageRecord*) {
    Centre(0, 0);
    SetDlgItemTextA(window, STUB_TEXT_CONTROL, message);
    if (CommandLineIsUnattended(commandLine) != 0) PostMessageA(window, WM_COMMAND, IDOK, 0);
}
