// The command line in UTF-8. On the host it is argv as it came; on Windows
// it is taken again from the wide command line (argv holds ANSI code page
// text, which cannot name every file). The console is left in its own code
// page: velpack's output reaches it as UTF-16 (host/TextOutput.h).
#ifndef VEL_VELPACK_UTF8ARGUMENTS_H
#define VEL_VELPACK_UTF8ARGUMENTS_H

#include <string>
#include <vector>

class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int Count() const { return static_cast<int>(pointers_.size()); }
    char** Values() { return pointers_.data(); }

private:
    std::vector<std::string> values_;
    std::vector<char*> pointers_;
};

#endif
