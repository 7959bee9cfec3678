// The payload a command works on: a payload file as velpack writes it, or
// the "EXE_DATA" resource 1 of a setup executable.
#ifndef VEL_VELPACK_PAYLOADSOURCE_H
#define VEL_VELPACK_PAYLOADSOURCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velpack/pe/PeSignature.h"
#include "tools/velpack/host/HostMapping.h"
#include "tools/velpack/pe/ResourceTree.h"

// The resource the launcher reads its archive from.
ResourceKey PayloadResourceType();  // "EXE_DATA"
ResourceKey PayloadResourceName();  // 1

// The payload is data[0 .. size): the mapped file itself, or the resource
// copied out of an executable.
struct PayloadSource {
    HostMapping file;
    std::vector<uint8_t> resource;
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool fromExecutable = false;
    PeSignature signature;  // an executable's Authenticode signature
};

// Maps path; a PE executable gives its payload resource. false, with error
// set, when the file cannot be read, or is an executable without a
// readable payload resource, or the payload exceeds 2 GiB - 1 bytes.
bool LoadPayload(const std::string& path, PayloadSource* source, std::string* error);

#endif
