// Where the launcher lets Windows look for DLLs.
#ifndef VEL_LAUNCHER_LIBRARYSEARCH_H
#define VEL_LAUNCHER_LIBRARYSEARCH_H

// Setup programs are run from download folders, where other programs' DLLs
// lie. Where the system has SetDefaultDllDirectories (Windows 8, and Vista
// and 7 with update KB2533623), libraries load from the system folder only
// from here on: never from the launcher's own folder, the current folder or
// the extraction folder. Elsewhere SetDllDirectoryA("") takes only the
// current folder out of the search; the launcher's own folder stays first
// in it.
void RestrictLibrarySearch();

#endif
