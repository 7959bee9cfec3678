// Arbitrary files through velpack's PE reader: an image that parses and whose
// resources read is rebuilt with a payload in place of EXE_DATA 1, and the
// result must parse again and carry exactly the same resources.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/CtFormat.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeRebuild.h"
#include "tools/velpack/pe/ResourceTree.h"

namespace {

const ResourceKey kPayloadType = ResourceKey::Name(kCtPayloadType);
const ResourceKey kPayloadName = ResourceKey::Id(kCtPayloadId);

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::vector<std::string> Leaves(const ResourceTree& tree) {
    std::vector<std::string> all;
    for (const ResourceLeaf& l : tree.leaves) {
        std::string s = l.type.named ? "n" : "i";
        s += std::to_string(l.type.id) + ":" + std::string(l.type.name.begin(), l.type.name.end());
        s += l.name.named ? "/n" : "/i";
        s += std::to_string(l.name.id) + ":" + std::string(l.name.name.begin(), l.name.name.end());
        s += "/" + std::to_string(l.language) + "/" + std::to_string(l.codePage) + "=";
        s += std::string(l.data.begin(), l.data.end());
        all.push_back(s);
    }
    std::sort(all.begin(), all.end());
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> file(data, data + size);
    PeImage pe;
    ResourceTree tree;
    std::string error;
    if (!pe.Parse(&file, &error) || !tree.Read(pe, &error)) return 0;
    tree.Find(kPayloadType, kPayloadName);
    const std::vector<uint8_t> payload = {4, 0, 0, 0, 'f', 'u', 'z', 'z'};
    tree.Replace(kPayloadType, kPayloadName, payload);
    PeRebuild rebuilt;
    if (!RebuildWithResources(pe, tree, &rebuilt, &error)) return 0;
    PeImage again;
    ResourceTree againTree;
    Check(again.Parse(&rebuilt.file, &error));
    Check(againTree.Read(again, &error));
    Check(Leaves(againTree) == Leaves(tree));
    const ResourceLeaf* leaf = againTree.Find(kPayloadType, kPayloadName);
    Check(leaf != nullptr && leaf->data == payload);
    return 0;
}
