// The extraction dialog: one line of text while the launcher makes its
// folder %TEMP%\tmp_vel its own, empties it and writes every entry of the
// archive into it (CtExtraction). It starts the work by itself (command
// 100, posted at initialisation) and ends with 1 when every entry was
// written, 0 otherwise; the caller's report says why.
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

class CtExtractDlg : public M_DIALOG {
public:
    // program: the plan's program name (empty: none).
    CtExtractDlg(FEN_OBJ* parent, CtTempFolder* folder, const CtArchive* archive,
                 const char* program, CtExtractReport* report);
    ~CtExtractDlg() override;

    void DoCommand(MessageRecord* record) override;
    void OnInitDialog(MessageRecord* record) override;

    HWND status;

private:
    CtExtraction extraction_;
};

#endif
