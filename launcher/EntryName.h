// Which entry names the launcher writes into its folder and which program
// names it runs from there: names that stay inside the folder and name a
// file. The extraction, the program start and velpack's warnings all ask
// this one rule.
#ifndef VEL_LAUNCHER_ENTRYNAME_H
#define VEL_LAUNCHER_ENTRYNAME_H

#include <cstdint>

// 1 when name stays inside the extraction folder: not empty, no absolute
// path, drive or stream (":"), leading slash, ".." component or device name
// in any component. Other names are never written or run.
int32_t EntryNameStaysInside(const char* name);

#endif
