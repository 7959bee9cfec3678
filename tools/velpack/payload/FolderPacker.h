// Packing a folder into a payload: the checks that keep the launcher from
// mangling anything, the entry order, and the information texts.
#ifndef VEL_VELPACK_FOLDERPACKER_H
#define VEL_VELPACK_FOLDERPACKER_H

#include <cstdint>
#include <string>
#include <vector>

struct PackSettings {
    std::string title;      // --title: the "Install=" value of a description entry
    std::string orderFile;  // --order: names that come first, in this order
    bool stored = false;
    bool plainNames = false;
    bool levelMax = false;  // --level max
    bool zstd = false;      // --codec zstd

    // True when any option differs from its default.
    bool Given() const;
};

// The name of the description entry that --title adds, first in the payload.
extern const char kTitleEntryName[];

// Packs every regular file directly inside folder, one entry each: the
// --title entry first, then the names of the --order file, then the other
// names in the byte order of their Windows-1252 form. Every problem is
// reported on stderr naming its file, and the answer is false before any
// content is read when there is one.
bool PackFolder(const std::string& folder, const PackSettings& settings,
                std::vector<uint8_t>* image);

// Writes data to path whole, through a temporary file beside it, so that a
// failure leaves no half-written file. Reports failures itself.
bool WriteResult(const std::string& path, const std::vector<uint8_t>& data, bool executable);

#endif
