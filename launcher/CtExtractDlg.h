// The extraction dialog: one line of text while the launcher makes its
// folder %TEMP%\tmp_vel its own, empties it and writes every entry of the
// archive into it (CtExtraction). It starts the work by itself (command
// 100, posted at initialisation) and ends with 1 when every entry was
// written, 0 otherwise; the caller's report says why.
//
// The work runs on a thread of its own, so that the dialog answers its
// messages however long it takes (Windows takes a window that answers none
// for five seconds for a hung program). Half a second into it a bar shows
// the share of the unpacked bytes written, in the palette's colours; a
// shorter extraction shows none. A close (WM_CLOSE, Escape, a close of the
// window tree) stops the work at its next piece; the dialog ends when the
// thread has, never leaving a half file.
//
// After a successful run the folder's path is in the caller's CtTempFolder,
// which holds the folder and the written files, and the process's current
// directory is that folder: the programs the launcher starts afterwards run
// there.
#ifndef VEL_LAUNCHER_CTEXTRACTDLG_H
#define VEL_LAUNCHER_CTEXTRACTDLG_H

#include <cstdint>

#include "framework/MDialog.h"
#include "launcher/CtExtraction.h"

class CtArchive;
class CtTempFolder;

class CtExtractDlg : public M_DIALOG, private CtProgress {
public:
    // program: the plan's program name (empty: none).
    CtExtractDlg(FEN_OBJ* parent, CtTempFolder* folder, const CtArchive* archive,
                 const char* program, CtExtractReport* report);
    // Stops the work and waits for its thread, if the run ended without it.
    ~CtExtractDlg() override;

    void DoCommand(MessageRecord* record) override;
    void OnInitDialog(MessageRecord* record) override;
    // Stops the work; the dialog ends when its thread has.
    int32_t OnCancel(MessageRecord* record) override;
    // Shows the bar once the delay is over, then follows the share.
    void OnTimer(MessageRecord* record) override;
    // Draws the bar.
    void OnDrawItem(MessageRecord* record) override;
    // The work's end, posted by its thread.
    void OnOtherMessage(MessageRecord* record) override;

    HWND status;
    HWND bar;  // the progress bar, created hidden

private:
    // On the work's thread: stores the share for the bar's next tick.
    void Advanced(int32_t permille) override;
    static DWORD WINAPI Work(void* dialog);
    void StopWork();

    CtExtraction extraction_;
    HANDLE worker_;
    volatile LONG written_;  // thousandths written, stored by the work's thread
    int32_t shown_;          // thousandths the bar shows
};

#endif
