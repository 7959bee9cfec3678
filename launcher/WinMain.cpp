// The launcher's entry point.
#include <windows.h>

#include <cstdlib>

#include "framework/Palette.h"
#include "launcher/Appli.h"
#include "launcher/HFen.h"
#include "services/Text.h"

namespace {

// Setup programs are run from download folders, where other programs' DLLs
// lie: load libraries from the system folder only, never from the
// launcher's own folder or from the extraction folder.
void RestrictLibrarySearch() {
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

}  // namespace

// A C++ exception that nobody catches ends the program. The runtime's own
// handler for that case prints the exception's demangled type on stderr,
// which a GUI program does not have, and brings 70 KB of demangler and
// printf into the stub; this one only aborts.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    RestrictLibrarySearch();
    TextCopy(SavedCommandLine, commandLine, sizeof SavedCommandLine, nullptr);
    int32_t result;
    {
        APPLI application(instance, previousInstance, commandLine, showCommand);
        // Before the classes are registered: "OW_MAIN" takes this icon.
        if (PALETTE::MainIcon != nullptr) DestroyIcon(PALETTE::MainIcon);
        PALETTE::MainIcon = LoadIconA(CurrentInstanceHandle(), "G_ICON");
        application.Run();
        result = application.resultCode;
    }
    return result;
}
