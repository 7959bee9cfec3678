#include "tools/velpack/payload/PayloadSource.h"

#include "archive/CtFormat.h"
#include "tools/velpack/pe/PeImage.h"

ResourceKey PayloadResourceType() { return ResourceKey::Name(kCtPayloadType); }
ResourceKey PayloadResourceName() { return ResourceKey::Id(kCtPayloadId); }

bool LoadPayload(const std::string& path, PayloadSource* source, std::string* error) {
    HostMapping& file = source->file;
    if (!file.Map(path, error)) return false;
    source->fromExecutable = PeImage::LooksLikePe(file.Data(), file.Size());
    if (!source->fromExecutable) {
        source->data = file.Data();
        source->size = file.Size();
    } else {
        const std::vector<uint8_t> image(file.Data(), file.Data() + file.Size());
        PeImage pe;
        ResourceTree tree;
        if (!pe.Parse(&image, error)) return false;
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
        source->resource = leaf->data;
        source->data = source->resource.data();
        source->size = source->resource.size();
        source->signature = ReadPeSignature(pe);
    }
    // The launcher's view holds the size in 32 signed bits.
    if (source->size > INT32_MAX) {
        *error = "the payload is larger than 2 GiB - 1 bytes";
        return false;
    }
    return true;
}
