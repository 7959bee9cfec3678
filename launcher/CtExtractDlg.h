// The extraction dialog: one line of text while the launcher empties its
// folder %TEMP%\tmp_vel and writes every entry of the archive into it. It
// starts the work by itself (command 100, posted at initialisation) and
// ends with 1 when every entry was written, 0 otherwise.
//
// After a successful run the caller's folder buffer holds the folder path,
// without a trailing backslash, and the process's current directory is that
// folder: the programs the launcher starts afterwards run there.
#ifndef VEL_LAUNCHER_CTEXTRACTDLG_H
#define VEL_LAUNCHER_CTEXTRACTDLG_H

#include <cstdint>

#include "archive/CtFormat.h"
#include "framework/MDialog.h"

class CtArchive;
class CtEntry;
class CtSink;
class CtStreamDecoder;

// Why an extraction ended with 0, for the message the sequence shows; the
// caller's, since the dialog is deleted after its run.
struct CtExtractReport {
    enum : int32_t {
        kDone = 0,         // nothing failed (or the dialog never ran)
        kNoFolder = 1,     // no usable temporary folder: nothing deleted or written
        kEntryFailed = 2,  // an entry could not be written whole
    };
    int32_t failure = kDone;
    char name[kCtNameCapacity] = {};  // the entry that failed
};

class CtExtractDlg : public M_DIALOG {
public:
    CtExtractDlg(FEN_OBJ* parent, char* folder, int32_t capacity, const CtArchive* archive,
                 CtExtractReport* report = nullptr);
    ~CtExtractDlg() override;

    void DoCommand(MessageRecord* record) override;
    void OnInitDialog(MessageRecord* record) override;

    // Empties the folder and writes the entries, each decoded straight into
    // its file in memory that does not grow with it: 1 when every entry was
    // written. 0 when there is no usable temporary folder (nothing deleted
    // or written), or at the first entry that could not be written whole:
    // the decoder's memory could not be had, its content did not decode to
    // its unpacked size, or its file could not be created or written (the
    // file is then deleted). Entries whose names leave the folder or
    // name a device are skipped, and logged ("Nom refusé : name", channels
    // 69 and 0).
    int32_t Extract();

    HWND status;
    char* folder;
    int32_t capacity;
    const CtArchive* archive;
    CtExtractReport* report;  // null: nobody asks why

private:
    // Writes entry index into the folder: 1 when its whole content was.
    int32_t WriteEntry(int32_t index, const char* name, const char* info, int32_t unpacked,
                       CtStreamDecoder* decoder);
    // Hands the entry's content to sink: 1 when all of its unpacked bytes went.
    static int32_t WriteContent(const CtEntry& entry, int32_t unpacked, CtStreamDecoder* decoder,
                                CtSink* sink);
    // Note the failure in the report and answer 0.
    int32_t NoFolder();
    int32_t EntryFailed(const char* name);
};

#endif
