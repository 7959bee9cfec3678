// The extraction dialog: one line of text while the launcher empties its
// folder %TEMP%\tmp_vel and writes every entry of the archive into it. It
// starts the work by itself (command 100, posted at initialisation) and
// ends with 1 when the folder could be entered, 0 otherwise.
//
// After a successful run the caller's folder buffer holds the folder path,
// without a trailing backslash, and the process's current directory is that
// folder: the programs the launcher starts afterwards run there.
#ifndef VEL_LAUNCHER_CTEXTRACTDLG_H
#define VEL_LAUNCHER_CTEXTRACTDLG_H

#include <cstdint>

#include "framework/MDialog.h"

class CtArchive;

class CtExtractDlg : public M_DIALOG {
public:
    CtExtractDlg(FEN_OBJ* parent, char* folder, int32_t capacity, const CtArchive* archive);
    ~CtExtractDlg() override;

    void DoCommand(MessageRecord* record) override;
    void OnInitDialog(MessageRecord* record) override;

    // Empties the folder and writes the entries: 1 when the folder could be
    // entered (whatever happened to single files), 0 otherwise, and then
    // nothing has been deleted or written.
    int32_t Extract();

    HWND status;
    char* folder;
    int32_t capacity;
    const CtArchive* archive;
};

#endif
