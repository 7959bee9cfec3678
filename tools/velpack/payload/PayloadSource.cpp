#include "tools/velpack/payload/PayloadSource.h"

#include "archive/CtFormat.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/pe/PeImage.h"

ResourceKey PayloadResourceType() { return ResourceKey::Name(kCtPayloadType); }
ResourceKey PayloadResourceName() { return ResourceKey::Id(kCtPayloadId); }

bool LoadPayload(const std::string& path, PayloadSource* source, std::string* error) {
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, &file, error)) return false;
    source->fromExecutable = PeImage::LooksLikePe(file);
    if (!source->fromExecutable) {
        source->payload.swap(file);
    } else {
        PeImage pe;
        ResourceTree tree;
        if (!pe.Parse(&file, error)) return false;
        if (!tree.Read(pe, error)) {
            *error = "resources: " + *error;
            return false;
        }
        const ResourceLeaf* leaf = tree.Find(PayloadResourceType(), PayloadResourceName());
        if (leaf == nullptr) {
            *error = std::string("an executable without an ") + kCtPayloadType + " resource " +
                     std::to_string(kCtPayloadId);
            return false;
        }
        source->payload = leaf->data;
        source->signature = ReadPeSignature(pe);
    }
    // The launcher's view holds the size in 32 signed bits.
    if (source->payload.size() > INT32_MAX) {
        *error = "the payload is larger than 2 GiB - 1 bytes";
        return false;
    }
    return true;
}
