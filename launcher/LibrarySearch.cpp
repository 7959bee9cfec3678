#include "launcher/LibrarySearch.h"

#include <windows.h>

void RestrictLibrarySearch() {
    // Looked up by name: both calls are younger than the systems the
    // launcher runs on.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryFn)(LPCSTR);
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(kSearchSystem32)) return;
    SetDllDirectoryFn setDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory != nullptr) setDirectory("");
}
