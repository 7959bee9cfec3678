// install.exe of the benchmark's setups (bench/users-view.sh): it ends at
// once, so that a run of a setup is its extraction and the start of a
// program.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
