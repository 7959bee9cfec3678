// Where the launcher lets Windows look for DLLs.
#ifndef VEL_LAUNCHER_LIBRARYSEARCH_H
#define VEL_LAUNCHER_LIBRARYSEARCH_H

// Setup programs are run from download folders, where other programs' DLLs
// lie: from here on, libraries load from the system folder only, never from
// the launcher's own folder, the current folder or the extraction folder.
// SetDefaultDllDirectories where the system has it; else SetDllDirectoryA("")
// takes at least the current folder out of the search.
void RestrictLibrarySearch();

#endif
