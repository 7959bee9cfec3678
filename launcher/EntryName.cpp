#include "launcher/EntryName.h"

#include "services/DeviceName.h"
#include "services/Text.h"

int32_t EntryNameStaysInside(const char* name) {
    if (name == nullptr || name[0] == 0) return 0;
    if (name[0] == '\\' || name[0] == '/') return 0;
    // A colon names a drive ("C:x" is relative to C:'s own current folder)
    // or a stream of another file.
    if (TextFind(name, ":", 1, 0) != 0) return 0;
    // Each component between separators: no "..", no device.
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == 0) {
            const int32_t length = static_cast<int32_t>(p - part);
            if (length == 2 && part[0] == '.' && part[1] == '.') return 0;
            if (IsDeviceName(part, length)) return 0;
            if (*p == 0) return 1;
            part = p + 1;
        }
    }
}
