#include "framework/MDialog.h"

#include <prsht.h>

#include "framework/MainInstance.h"
#include "services/LogRouting.h"
#include "services/LogText.h"
#include "services/Text.h"

int32_t M_DIALOG::RunningDialogs = 0;

namespace {
// The handle a dialog object holds from the start of its run until
// WM_INITDIALOG binds it.
HWND const kStarting = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));
}  // namespace

M_DIALOG::M_DIALOG(FEN_OBJ* parent, const char* templateName)
    : FEN_OBJ(parent), templateName{}, result(1), running(false) {
    // A name cut to the buffer could name another template: a name that does
    // not fit is not kept, and the run fails as for a missing template.
    if (TextLength(templateName) >= static_cast<int32_t>(sizeof this->templateName)) return;
    TextCopy(this->templateName, templateName, sizeof this->templateName, nullptr);
}

M_DIALOG::~M_DIALOG() = default;

int32_t M_DIALOG::IsDialog() { return 1; }

int32_t M_DIALOG::Close() {
    if (!running) return OBJET::Close();
    // Before WM_INITDIALOG there is no window to close yet.
    if (window != kStarting && CanClose() != 0) {
        MessageRecord record = {window, WM_CLOSE, 0, 0, 1, false};
        OnClose(&record);
    }
    return 0;
}

int32_t M_DIALOG::OnOk(MessageRecord*) {
    if (CloseTree(0) == 0) return 0;
    return EndWith(result);
}

int32_t M_DIALOG::OnCancel(MessageRecord*) { return EndWith(0); }

void M_DIALOG::OnCommand(MessageRecord* record) {
    switch (LOWORD(record->wParam)) {
        case IDOK: OnOk(record); break;
        case IDCANCEL: OnCancel(record); break;
        default:
            if (RouteCommand(record) == 0) DoCommand(record);
            break;
    }
}

void M_DIALOG::DoCommand(MessageRecord*) {}
void M_DIALOG::OnSysCommand(MessageRecord*) {}
void M_DIALOG::OnInitDialog(MessageRecord*) {}
void M_DIALOG::OnClose(MessageRecord* record) { OnCancel(record); }
void M_DIALOG::OnTimer(MessageRecord*) {}
void M_DIALOG::OnMouseMove(MessageRecord*) {}
void M_DIALOG::OnLButtonDblClk(MessageRecord*) {}
void M_DIALOG::OnLButtonDown(MessageRecord*) {}
void M_DIALOG::OnLButtonUp(MessageRecord*) {}
void M_DIALOG::OnRButtonDown(MessageRecord*) {}
void M_DIALOG::OnRButtonUp(MessageRecord*) {}
void M_DIALOG::OnKeyUp(MessageRecord*) {}
void M_DIALOG::OnKeyDown(MessageRecord*) {}
void M_DIALOG::OnChar(MessageRecord*) {}
void M_DIALOG::OnSize(MessageRecord*) {}
void M_DIALOG::OnMove(MessageRecord*) {}
void M_DIALOG::OnOtherMessage(MessageRecord* record) { record->result = 0; }
void M_DIALOG::OnEnd(int32_t) {}

INT_PTR M_DIALOG::ProcessDialog() {
    ++RunningDialogs;
    window = kStarting;
    running = true;
    INT_PTR ended = DialogBoxParamA(CurrentInstanceHandle(), templateName, parentWindow,
                                    PasseDlgProc, reinterpret_cast<LPARAM>(this));
    const DWORD error = GetLastError();
    running = false;
    if (window == kStarting) {
        FormatLogText(LogTextBuffer, sizeof LogTextBuffer, "Erreur ProcessDialog ",
                      static_cast<int32_t>(error));
        SendLog(kLogDialog, LogTextBuffer);
    }
    --RunningDialogs;
    return ended;
}

int32_t M_DIALOG::EndWith(int32_t result) {
    OnEnd(result);
    return EndDialog(window, result) != 0 ? 1 : 0;
}

INT_PTR CALLBACK M_DIALOG::PasseDlgProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) {
    MessageRecord record = {window, message, wParam, lParam, 1, false};
    return Procedure(&record, false);
}

INT_PTR CALLBACK M_DIALOG::PasseSheetDlgProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    MessageRecord record = {window, message, wParam, lParam, 1, false};
    return Procedure(&record, true);
}

INT_PTR M_DIALOG::Procedure(MessageRecord* record, bool page) {
    M_DIALOG* dialog = FindDialog(record->window);
    if (dialog == nullptr) {
        // Messages before WM_INITDIALOG (WM_SETFONT...) are left to the
        // dialog manager.
        if (record->message != WM_INITDIALOG) return 0;
        LPARAM value = record->lParam;
        if (page) value = reinterpret_cast<PROPSHEETPAGEA*>(value)->lParam;
        dialog = reinterpret_cast<M_DIALOG*>(value);
        dialog->window = record->window;
    }
    return dialog->DialogDispatch(record);
}

INT_PTR M_DIALOG::DialogDispatch(MessageRecord* record) {
    HDC dc = reinterpret_cast<HDC>(record->wParam);
    switch (record->message) {
        case WM_MOVE: OnMove(record); break;
        case WM_SIZE: OnSize(record); break;
        case WM_CLOSE: OnClose(record); break;
        case WM_DRAWITEM: OnDrawItem(record); break;
        case WM_KEYDOWN: OnKeyDown(record); break;
        case WM_KEYUP: OnKeyUp(record); break;
        case WM_CHAR: OnChar(record); break;
        case WM_INITDIALOG: OnInitDialog(record); break;
        case WM_COMMAND: OnCommand(record); break;
        case WM_SYSCOMMAND:
            // 0: the dialog manager carries the system command out.
            record->callDefault = true;
            record->result = 0;
            OnSysCommand(record);
            break;
        case WM_TIMER: OnTimer(record); break;
        case WM_CTLCOLOREDIT:
            // While edit colouring is off the edit control keeps the dialog
            // manager's colours, like any unhandled message.
            if (EditColouring == 0) {
                OnOtherMessage(record);
            } else {
                record->result = reinterpret_cast<INT_PTR>(ColourControl(dc));
            }
            break;
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORSTATIC:
            record->result = reinterpret_cast<INT_PTR>(ColourControl(dc));
            break;
        case WM_CTLCOLORDLG: record->result = reinterpret_cast<INT_PTR>(DialogBrush); break;
        case WM_MOUSEMOVE: OnMouseMove(record); break;
        case WM_LBUTTONDOWN: OnLButtonDown(record); break;
        case WM_LBUTTONUP: OnLButtonUp(record); break;
        case WM_LBUTTONDBLCLK: OnLButtonDblClk(record); break;
        case WM_RBUTTONDOWN: OnRButtonDown(record); break;
        case WM_RBUTTONUP: OnRButtonUp(record); break;
        default: OnOtherMessage(record); break;
    }
    return record->result;
}

INT_PTR RunDialog(M_DIALOG* dialog, int32_t del) {
    if (dialog == nullptr) return 0;
    INT_PTR result = dialog->ProcessDialog();
    if (del != 0) delete dialog;
    return result;
}

M_DIALOG* FindDialog(HWND window) {
    // Only dialogs: a main window object keeps its handle after its window
    // is gone, and handle values come back.
    for (FEN_OBJ* w = FEN_OBJ::NewestWindow; w != nullptr; w = w->olderWindow) {
        if (w->window == window && w->IsDialog() == 1) return static_cast<M_DIALOG*>(w);
    }
    return nullptr;
}
