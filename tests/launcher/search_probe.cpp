// A DLL that lies beside the test program: the launcher must not load it by
// its bare name once it has restricted the library search.
#include <windows.h>

extern "C" __declspec(dllexport) int SearchProbe() { return 42; }
