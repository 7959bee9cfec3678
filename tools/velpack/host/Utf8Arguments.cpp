#include "tools/velpack/host/Utf8Arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "tools/velpack/host/HostFolder.h"
#endif

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) values_.push_back(Utf8FromWide(wide[i]));
        LocalFree(wide);
    }
#endif
    if (values_.empty()) values_.assign(argv, argv + argc);
    for (std::string& v : values_) pointers_.push_back(&v[0]);
}
