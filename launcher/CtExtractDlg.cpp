#include "launcher/CtExtractDlg.h"

#include "launcher/StubResources.h"

namespace {
const int32_t kExtractCommand = 100;
}  // namespace

CtExtractDlg::CtExtractDlg(FEN_OBJ* parent, CtTempFolder* folder, const CtArchive* archive,
                           const char* program, CtExtractReport* report)
    : M_DIALOG(parent, kStubDialog),
      status(nullptr),
      extraction_(folder, archive, program, report) {}

CtExtractDlg::~CtExtractDlg() {}

void CtExtractDlg::OnInitDialog(MessageRecord*) {
    Centre(0, 0);
    ShowWindow(GetDlgItem(window, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(window, IDCANCEL), SW_HIDE);
    status = GetDlgItem(window, STUB_TEXT_CONTROL);
    SetWindowTextA(status, "... pr\xE9" "paration de l'installation ...");
    PostMessageA(window, WM_COMMAND, kExtractCommand, 0);
}

void CtExtractDlg::DoCommand(MessageRecord* record) {
    if (LOWORD(record->wParam) != kExtractCommand) return;
    EndDialog(window, extraction_.Run() ? 1 : 0);
}
