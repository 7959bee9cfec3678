// A program for the process tests: exit_child CODE [MILLISECONDS] sleeps for
// the given time, then ends with exit code CODE.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const unsigned long code = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
    if (argc > 2) Sleep(std::strtoul(argv[2], nullptr, 10));
    return static_cast<int>(code);
}
