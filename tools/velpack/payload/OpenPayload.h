// The opening that every inspecting command shares: the payload read from a
// payload file or a setup executable, the launcher's view of it, and its
// records walked.
#ifndef VEL_VELPACK_OPENPAYLOAD_H
#define VEL_VELPACK_OPENPAYLOAD_H

#include <string>
#include <vector>

#include "archive/CtArchive.h"
#include "tools/velpack/payload/PayloadSource.h"
#include "tools/velpack/payload/PayloadWalk.h"

struct OpenedPayload {
    PayloadSource source;
    CtArchive archive{nullptr, 0};  // over the source's payload
    std::vector<RecordReport> records;

    OpenedPayload() = default;
    // The view points into source: the object stays where it was made.
    OpenedPayload(const OpenedPayload&) = delete;
    OpenedPayload& operator=(const OpenedPayload&) = delete;
};

// Reads path and walks its records; false after a complaint naming path.
bool OpenPayload(const std::string& path, OpenedPayload* opened);

#endif
