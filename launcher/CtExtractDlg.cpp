#include "launcher/CtExtractDlg.h"

#include "framework/MainInstance.h"
#include "framework/Palette.h"
#include "launcher/StubResources.h"

namespace {
const int32_t kExtractCommand = 100;
// Posted by the work's thread at its end (wParam: the extraction's result).
const UINT kEndMessage = WM_APP + 2;
// The bar shows after this delay, so that a short extraction does not
// flicker; it then follows the share written at this period. The work's
// thread only stores the share: a message per step would cost each side a
// call into the system (a server round trip under Wine) and a repaint,
// hundreds of times where a few dozen show the same.
const UINT kBarTimer = 1;
const UINT kBarDelayMs = 500;
const UINT kBarPeriodMs = 50;
// The bar lies where the two hidden buttons are, under the text, in dialog
// units of the template.
const RECT kBarPlace = {124, 42, 124 + 148, 42 + 10};
}  // namespace

CtExtractDlg::CtExtractDlg(FEN_OBJ* parent, CtTempFolder* folder, const CtArchive* archive,
                           const char* program, CtExtractReport* report)
    : M_DIALOG(parent, kStubDialog),
      status(nullptr),
      bar(nullptr),
      extraction_(folder, archive, program, report, this),
      worker_(nullptr),
      written_(0),
      shown_(0) {}

CtExtractDlg::~CtExtractDlg() { StopWork(); }

void CtExtractDlg::OnInitDialog(MessageRecord*) {
    Centre(0, 0);
    ShowWindow(GetDlgItem(window, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(window, IDCANCEL), SW_HIDE);
    status = GetDlgItem(window, STUB_TEXT_CONTROL);
    SetWindowTextA(status, "... pr\xE9" "paration de l'installation ...");
    RECT place = kBarPlace;
    MapDialogRect(window, &place);
    bar = CreateWindowExA(0, "STATIC", nullptr, WS_CHILD | SS_OWNERDRAW, place.left, place.top,
                          place.right - place.left, place.bottom - place.top, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(STUB_PROGRESS_CONTROL)),
                          CurrentInstanceHandle(), nullptr);
    PostMessageA(window, WM_COMMAND, kExtractCommand, 0);
}

void CtExtractDlg::DoCommand(MessageRecord* record) {
    if (LOWORD(record->wParam) != kExtractCommand || worker_ != nullptr) return;
    worker_ = CreateThread(nullptr, 0, Work, this, 0, nullptr);
    // Without a thread the work runs here, the dialog silent meanwhile.
    if (worker_ == nullptr) {
        EndWith(extraction_.Run() ? 1 : 0);
        return;
    }
    SetTimer(window, kBarTimer, kBarDelayMs, nullptr);
}

DWORD WINAPI CtExtractDlg::Work(void* dialog) {
    CtExtractDlg* self = static_cast<CtExtractDlg*>(dialog);
    const int32_t result = self->extraction_.Run();
    PostMessageA(self->window, kEndMessage, static_cast<WPARAM>(result), 0);
    return 0;
}

void CtExtractDlg::Advanced(int32_t permille) { InterlockedExchange(&written_, permille); }

int32_t CtExtractDlg::OnCancel(MessageRecord*) {
    extraction_.Stop();
    if (worker_ != nullptr) return 1;
    // Not started yet: the stopped extraction ends at once, touching
    // nothing, and says so in the report.
    return EndWith(extraction_.Run());
}

void CtExtractDlg::OnTimer(MessageRecord* record) {
    if (record->wParam != kBarTimer) return;
    if (!IsWindowVisible(bar)) {
        SetTimer(window, kBarTimer, kBarPeriodMs, nullptr);
        ShowWindow(bar, SW_SHOW);
    }
    const int32_t written = InterlockedCompareExchange(&written_, 0, 0);
    if (written == shown_) return;
    shown_ = written;
    InvalidateRect(bar, nullptr, FALSE);
}

void CtExtractDlg::OnDrawItem(MessageRecord* record) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(record->lParam);
    if (item == nullptr || item->CtlID != STUB_PROGRESS_CONTROL) return;
    RECT frame = item->rcItem;
    FrameRect(item->hDC, &frame, PALETTE::ShadowBrush);
    InflateRect(&frame, -1, -1);
    RECT done = frame;
    done.right = frame.left + (frame.right - frame.left) * shown_ / 1000;
    RECT rest = frame;
    rest.left = done.right;
    FillRect(item->hDC, &done, PALETTE::BlueBrush);
    FillRect(item->hDC, &rest, PALETTE::HighlightBrush);
    record->result = TRUE;
}

void CtExtractDlg::OnOtherMessage(MessageRecord* record) {
    if (record->message == kEndMessage) {
        StopWork();
        KillTimer(window, kBarTimer);
        EndWith(record->wParam != 0 ? 1 : 0);
        return;
    }
    M_DIALOG::OnOtherMessage(record);
}

void CtExtractDlg::StopWork() {
    if (worker_ == nullptr) return;
    extraction_.Stop();
    WaitForSingleObject(worker_, INFINITE);
    CloseHandle(worker_);
    worker_ = nullptr;
}
