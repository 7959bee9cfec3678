// The launcher's entry point.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "framework/Palette.h"
#include "launcher/Appli.h"
#include "launcher/HFen.h"
#include "launcher/LibrarySearch.h"
#include "launcher/StubResources.h"
#include "services/Text.h"

// A C++ exception that nobody catches ends the program. The runtime's own
// handler for that case prints the exception's demangled type on stderr,
// which a GUI program does not have, and brings 70 KB of demangler and
// printf into the stub; this one only aborts.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The stub is built without exception support: the library's operator new,
// which throws std::bad_alloc, would bring the whole exception runtime back.
// Every allocation of the launcher is a new (std::nothrow), which answers
// null; a plain new that fails ends the program, as the uncaught bad_alloc
// would.
void* operator new(size_t size) {
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    std::abort();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand) {
    RestrictLibrarySearch();
    TextCopy(SavedCommandLine, commandLine, sizeof SavedCommandLine, nullptr);
    int32_t result;
    {
        APPLI application(instance, previousInstance, commandLine, showCommand);
        // Before the classes are registered: "OW_MAIN" takes this icon.
        if (PALETTE::MainIcon != nullptr) DestroyIcon(PALETTE::MainIcon);
        PALETTE::MainIcon = LoadIconA(CurrentInstanceHandle(), kStubIcon);
        application.Run();
        result = application.resultCode;
    }
    return result;
}
