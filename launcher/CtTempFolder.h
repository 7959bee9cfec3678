// The launcher's folder %TEMP%\tmp_vel, made this run's own for the time of
// one run.
//
// The folder has a fixed, well-known name in a place that other programs of
// the user (and, for C:\Windows\Temp, other users) can write: it may be a
// link someone planted, someone else's folder, or the folder an earlier
// installation still runs from. So, in this order:
//   - one run at a time in the user's session (a named mutex);
//   - never through a link, never someone else's folder: such a tmp_vel is
//     renamed out of the way (the link itself, never its target) and a
//     fresh one made;
//   - the folder held open without delete sharing, so that it cannot be
//     renamed or replaced while the run works in it, and made the current
//     directory, checked to be that same folder: every file operation goes
//     by bare names under it;
//   - emptied all or nothing: a file that cannot go (in use, a program
//     running from it) stops the run before anything is deleted;
//   - the extracted files held open with read sharing only, so that nobody
//     writes, renames or deletes them before the programs have started.
#ifndef VEL_LAUNCHER_CTTEMPFOLDER_H
#define VEL_LAUNCHER_CTTEMPFOLDER_H

#include <windows.h>

#include <cstdint>

#include "archive/CtFormat.h"

// Open files kept for a while, each with a name and attributes to give back.
class CtHandleList {
public:
    struct Item {
        HANDLE handle;
        uint32_t attributes;  // what to restore on the way out; 0: nothing
        char name[kCtNameCapacity];
    };

    CtHandleList() : items(nullptr), count(0), room(0) {}
    CtHandleList(const CtHandleList&) = delete;
    CtHandleList& operator=(const CtHandleList&) = delete;
    ~CtHandleList() { CloseAll(); }

    // Keeps handle (name may be null). 0 when there is no memory for it:
    // the handle is then closed.
    int32_t Add(HANDLE handle, uint32_t attributes, const char* name);
    // Closes every handle and forgets them.
    void CloseAll();

    Item* items;
    int32_t count;

private:
    int32_t room;
};

class CtTempFolder {
public:
    CtTempFolder();
    ~CtTempFolder();
    CtTempFolder(const CtTempFolder&) = delete;
    CtTempFolder& operator=(const CtTempFolder&) = delete;

    // One run at a time in the user's session: takes the mutex, on the
    // thread that will let it go (Release). 0 when another run holds it.
    int32_t Lock();
    // Makes tmp_vel this run's (see above): 1, with path holding the folder
    // (no trailing backslash) and the process's current directory in it;
    // 0 when there is no usable folder (no temporary path, one too long for
    // the 256-byte paths, a file in the way, a link or foreign folder that
    // cannot be moved aside): nothing is then deleted or written.
    int32_t Open();
    // Deletes every file of the folder; subfolders and names that begin
    // with a point stay. 1 when no file is left. 0, with the name of one
    // that stays in left (capacity bytes, ANSI), when a file could not go:
    // nothing is deleted when that is seen beforehand (a file held open or
    // a program running from it), and what a deletion left is named too.
    int32_t Empty(char* left, int32_t capacity);
    // Keeps an extracted file (a handle opened for reading, with read
    // sharing only) until Release, so that nobody writes, renames or
    // deletes it in between. 0 when it could not be kept (the handle is
    // then closed).
    int32_t Hold(HANDLE file, const char* name);
    // Renames a file of the folder, open with DELETE access, to name,
    // through its handle, replacing a file of that name. 0 on failure, the
    // reason in the last error.
    int32_t Rename(HANDLE file, const char* name) const;
    // Closes the handle held for name, if any: an entry of the same name
    // replaces the file.
    void Unhold(const char* name);
    // Lets go of the held files, the folder and the mutex.
    void Release();

    // Whether owner may own the folder: the user, or, for a process that
    // runs as an administrator (elevated, or the system), the
    // Administrators group or the system too. Nobody else: another user
    // may have planted it.
    static int32_t TrustedOwner(PSID owner, PSID user, int32_t administrator);

    char path[256];

private:
    enum Taken : int32_t { kTaken, kNotOurs, kFailed };
    Taken Take();
    int32_t OwnedByTrustee(HANDLE folder) const;
    // Renames the folder, or the link in its place, out of the way.
    int32_t MoveAside(bool link) const;

    HANDLE mutex_;
    HANDLE folder_;
    CtHandleList held_;
};

#endif
