// Helpers of the launcher's Windows tests: payload images built in memory,
// whole folder trees on disk, file times.
#ifndef VEL_TESTS_LAUNCHERTESTSUPPORT_H
#define VEL_TESTS_LAUNCHERTESTSUPPORT_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/framework/GuiTestSupport.h"

// An archive image: the first entry offset 4, then the records appended.
struct TestPayload {
    TestPayload();
    // A stored entry (method 0, or 1 complemented) with the given text.
    TestPayload& Stored(const std::string& name, const std::string& content,
                        const std::string& info = "", int32_t method = 0);
    // An entry compressed by our compressor (method 2, or 3).
    TestPayload& Packed(const std::string& name, const std::string& content,
                        const std::string& info = "", int32_t method = 3);
    // A record whose header says unpacked, whatever the content holds.
    TestPayload& Raw(int32_t method, const std::string& name, const std::string& info,
                     const std::string& content, int32_t unpacked);
    // Offset of record index in the image.
    size_t RecordOffset(int32_t index) const;

    std::vector<uint8_t> image;
};

// The information text that carries a FILETIME as "DWCL=" and "DWCH=".
std::string TimeInfo(uint64_t filetime);

// A file's last-write time as one 64-bit FILETIME value; 0 when unreadable.
uint64_t LastWriteTime(const std::string& path);

// A folder of its own under the temporary folder (see TempFolder); TMP
// and TEMP point at it while the object lives, and the current directory is
// restored on the way out.
class TempRoot : public TempFolder {
public:
    explicit TempRoot(const std::string& tag);
    ~TempRoot();

private:
    std::string savedTmp_;
    std::string savedTemp_;
    std::string savedDirectory_;
};

#endif
