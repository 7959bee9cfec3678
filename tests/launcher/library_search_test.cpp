#include "launcher/LibrarySearch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string OwnFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

TEST(LibrarySearch, ADllBesideTheProgramIsNoLongerFoundByName) {
    // The DLL is sound and where a plain search would look first.
    HMODULE direct = LoadLibraryExA((OwnFolder() + "search_probe.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(direct, nullptr);
    FreeLibrary(direct);

    RestrictLibrarySearch();
    SetCurrentDirectoryA(OwnFolder().c_str());
    EXPECT_EQ(LoadLibraryA("search_probe.dll"), nullptr);
    // System libraries still load.
    EXPECT_NE(LoadLibraryA("version.dll"), nullptr);
}

}  // namespace
