// Entry names and what becomes of them: whether the launcher writes (or
// runs) an entry of that name, and whether velpack packs a file of that
// name. One table for the tests of both rules.
#ifndef VEL_TESTS_CONTAINER_ENTRYNAMECASES_H
#define VEL_TESTS_CONTAINER_ENTRYNAMECASES_H

struct EntryNameCase {
    const char* name;
    bool launcherWrites;
    bool velpackPacks;
};

const EntryNameCase kEntryNameCases[] = {
    // Plain names.
    {"a.txt", true, true},
    {"setup.exe", true, true},
    {"AutoInst_x.exe", true, true},
    {"caf\xE9.txt", true, true},
    {".hidden", true, true},
    {"a b", true, true},
    {"x..y", true, true},
    {"..a", true, true},
    // Near devices, but files.
    {"console.txt", true, true},
    {"CONSOLE", true, true},
    {"con1.txt", true, true},
    {"com10.txt", true, true},
    {"lpt10", true, true},
    {"conin", true, true},
    // Devices, in any component, case and extension.
    {"CON", false, false},
    {"con.txt", false, false},
    {"con .txt", false, false},
    {"aux ", false, false},
    {"Aux", false, false},
    {"NUL.tar.gz", false, false},
    {"prn", false, false},
    {"com1", false, false},
    {"COM0", false, false},
    {"LPT9.log", false, false},
    {"lpt0.x", false, false},
    {"COM\xB9", false, false},
    {"lpt\xB3.txt", false, false},
    {"CONIN$", false, false},
    {"conout$.log", false, false},
    {"sub\\prn", false, false},
    // Leaving the folder.
    {"", false, false},
    {"..", false, false},
    {"..\\a", false, false},
    {"a\\..", false, false},
    {"a/../../b", false, false},
    {"\\a", false, false},
    {"/a", false, false},
    {"C:a", false, false},
    {"c:\\a", false, false},
    {"a:stream", false, false},
    // The launcher writes these where it can; velpack packs bare names
    // that Windows keeps as they are.
    {"sub\\a.txt", true, false},
    {"x\\.\\y", true, false},
    {".", true, false},
    {"a..", true, false},
    {"dot.", true, false},
    {"blank ", true, false},
    {"a*b", true, false},
    {"a?b", true, false},
    {"a<b", true, false},
    {"a>b", true, false},
    {"a|b", true, false},
    {"a\"b", true, false},
    {"tab\tname", true, false},
};

#endif
