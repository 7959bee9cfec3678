#include "tools/velpack/payload/OpenPayload.h"

#include "tools/velpack/host/Diagnostics.h"

bool OpenPayload(const std::string& path, OpenedPayload* opened) {
    std::string error;
    if (!LoadPayload(path, &opened->source, &error)) {
        Complain(path, error);
        return false;
    }
    const std::vector<uint8_t>& payload = opened->source.payload;
    opened->archive = CtArchive(payload.data(), static_cast<int32_t>(payload.size()));
    opened->records = WalkPayload(opened->archive);
    return true;
}
