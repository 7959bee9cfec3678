#include "tools/velpack/payload/OpenPayload.h"

#include "tools/velpack/host/Diagnostics.h"

bool OpenPayload(const std::string& path, OpenedPayload* opened) {
    std::string error;
    if (!LoadPayload(path, &opened->source, &error)) {
        Complain(path, error);
        return false;
    }
    opened->archive = CtArchive(opened->source.data, static_cast<int32_t>(opened->source.size));
    opened->records = WalkPayload(opened->archive);
    return true;
}
