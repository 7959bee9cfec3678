// The installation plan: what the launcher will do with its archive.
//
// One pass over the entries, in archive order, finds two texts: the program
// to run and wait for (an entry whose name opens with "AutoInst_" and holds
// ".exe"), and the product title (the "Install=" value of the first
// installation description, an entry whose name holds ".ist", that has one).
// The installation sequence decides from them whether to ask, extract, run
// the program and start install.exe.
#ifndef VEL_LAUNCHER_ISTPLAN_H
#define VEL_LAUNCHER_ISTPLAN_H

#include <cstdint>

#include "archive/CtFormat.h"

class CtArchive;

struct IST_PLAN {
    // Both texts empty: a first byte of zero means "none".
    IST_PLAN();

    // Empties both texts and scans the archive. The scan ends at the first
    // entry that cannot be enumerated (the end, or a damaged entry), with
    // what was found before it.
    void DrawUp(const CtArchive& archive);

    static const int32_t kTextCapacity = kCtTitleCapacity;

    char title[kTextCapacity];    // product title, ANSI, at most 127 bytes
    char program[kTextCapacity];  // bare entry name of the program to run

private:
    // Decodes entry index (unpacked bytes) and takes the title from it.
    void ReadTitle(const CtArchive& archive, int32_t index, int32_t unpacked);
};

#endif
