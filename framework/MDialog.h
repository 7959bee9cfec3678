// Modal dialogs from dialog template resources, with their messages turned
// into virtual calls as FENETRE does for windows.
//
// A dialog object is a node of the object tree and is listed in the window
// list, through which the dialog procedure finds it once WM_INITDIALOG has
// bound it. Its window handle is null after construction, (HWND)-1 from the
// start of a run until WM_INITDIALOG, and the dialog's handle from then on
// (kept after the run).
//
// The dialog procedures answer with the record's result, which starts at 1
// (TRUE: processed); messages left to the dialog manager answer 0. Only the
// result counts: the call-default flag is not read.
#ifndef VEL_FRAMEWORK_MDIALOG_H
#define VEL_FRAMEWORK_MDIALOG_H

#include <windows.h>

#include <cstdint>

#include "framework/Fenetre.h"

class M_DIALOG : public FEN_OBJ {
public:
    // parent's window owns the dialog. A template name longer than 31
    // characters is not kept (the run then fails), rather than cut.
    M_DIALOG(FEN_OBJ* parent, const char* templateName);
    ~M_DIALOG() override;
    int32_t IsDialog() override;
    // A dialog in its run is closed as WM_CLOSE closes it (OnClose), never
    // deleted: the call that runs it deletes it afterwards. It answers 0,
    // so that a close of the window tree destroys no window above it while
    // its run is on the stack. Out of its run: OBJET's Close.
    int32_t Close() override;

    // Operations appended to FEN_OBJ's, in order.
    // Ends with the stored result when the whole tree agrees (CloseTree(0)).
    virtual int32_t OnOk(MessageRecord* record);
    // Ends with 0.
    virtual int32_t OnCancel(MessageRecord* record);
    // 1 and 2 are OK and cancel; other commands go to the children, then to
    // DoCommand when no child claims them.
    virtual void OnCommand(MessageRecord* record);
    virtual void DoCommand(MessageRecord* record);
    virtual void OnSysCommand(MessageRecord* record);
    virtual void OnInitDialog(MessageRecord* record);
    virtual void OnClose(MessageRecord* record);
    virtual void OnTimer(MessageRecord* record);
    virtual void OnMouseMove(MessageRecord* record);
    virtual void OnLButtonDblClk(MessageRecord* record);
    virtual void OnLButtonDown(MessageRecord* record);
    virtual void OnLButtonUp(MessageRecord* record);
    virtual void OnRButtonDown(MessageRecord* record);
    virtual void OnRButtonUp(MessageRecord* record);
    virtual void OnKeyUp(MessageRecord* record);
    virtual void OnKeyDown(MessageRecord* record);
    virtual void OnChar(MessageRecord* record);
    virtual void OnSize(MessageRecord* record);
    virtual void OnMove(MessageRecord* record);
    virtual void OnOtherMessage(MessageRecord* record);
    // Called just before the dialog ends with result.
    virtual void OnEnd(int32_t result);

    // Runs the dialog modally: what DialogBoxParamA returned, the value given
    // to EndDialog or -1 when the dialog could not be created. A dialog that
    // never reached WM_INITDIALOG is reported as "Erreur ProcessDialog %d"
    // (the system error code) on log channels 67 and 0.
    INT_PTR ProcessDialog();
    // Ends the running dialog with result; what EndDialog returned.
    int32_t EndWith(int32_t result);

    // The dialog procedure (exported under this name).
    static INT_PTR CALLBACK PasseDlgProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam);
    // The same for property-sheet pages: WM_INITDIALOG carries the page's
    // PROPSHEETPAGE, whose lParam is the dialog object.
    static INT_PTR CALLBACK PasseSheetDlgProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);

    char templateName[32];
    int32_t result;  // the end code of OK; 1 unless a subclass changes it
    bool running;    // inside ProcessDialog

    // Modal runs in progress.
    static int32_t RunningDialogs;

private:
    // Both procedures: the object is found through the window list, or, on
    // WM_INITDIALOG, taken from lParam (through the page record for sheets).
    static INT_PTR Procedure(MessageRecord* record, bool page);
    INT_PTR DialogDispatch(MessageRecord* record);
};

// Runs dialog (0 without one) and, when del is nonzero, deletes it after the
// run. The run's result.
INT_PTR RunDialog(M_DIALOG* dialog, int32_t del);

// The newest dialog object whose window handle is window, or null.
M_DIALOG* FindDialog(HWND window);

#endif
