// Arbitrary files through velpack's PE reader: an image that parses and whose
// resources read is rebuilt with what velpack make puts in (a payload in
// place of EXE_DATA 1, an icon group G_ICON, version information, a
// manifest), and the result must parse again and carry exactly those
// resources; the icon group's images must sit under ids no other icon holds.
// The strict readers of icon files and manifests see every input as well.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/CtFormat.h"
#include "fuzz/FuzzCheck.h"
#include "launcher/StubResources.h"
#include "tools/velpack/pe/ApplicationManifest.h"
#include "tools/velpack/pe/IconFile.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeRebuild.h"
#include "tools/velpack/pe/ResourceTree.h"
#include "tools/velpack/pe/VersionResource.h"

namespace {

const ResourceKey kPayloadType = ResourceKey::Name(kCtPayloadType);
const ResourceKey kPayloadName = ResourceKey::Id(kCtPayloadId);
const ResourceKey kIconGroup = ResourceKey::Name(kStubIcon);

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

// A two-image icon file: a 16x16 bitmap of 1 bit per pixel, and the head of
// a 256x256 PNG.
std::vector<uint8_t> SmallIconFile() {
    std::vector<uint8_t> bitmap(40 + 8 + 16 * 4 + 16 * 4, 0x5A);
    const uint32_t header[] = {40, 16, 32};
    for (uint32_t i = 0; i < 3; ++i) PutU32(&bitmap, 4 * i, header[i]);
    PutU16(&bitmap, 12, 1);
    PutU16(&bitmap, 14, 1);
    for (uint32_t at = 16; at < 40; at += 4) PutU32(&bitmap, at, 0);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13,
                                'I',  'H', 'D', 'R', 0,    0,    1,    0,    0, 0, 1, 0};
    png.resize(33 + 12, 0);
    std::vector<uint8_t> file(6 + 2 * 16, 0);
    PutU16(&file, 2, 1);
    PutU16(&file, 4, 2);
    const std::vector<uint8_t>* images[] = {&bitmap, &png};
    const uint8_t sides[] = {16, 0};
    for (uint32_t i = 0; i < 2; ++i) {
        const uint32_t e = 6 + 16 * i;
        file[e] = file[e + 1] = sides[i];
        PutU16(&file, e + 4, 1);
        PutU16(&file, e + 6, i == 0 ? 1 : 32);
        PutU32(&file, e + 8, static_cast<uint32_t>(images[i]->size()));
        PutU32(&file, e + 12, static_cast<uint32_t>(file.size()));
        file.insert(file.end(), images[i]->begin(), images[i]->end());
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> file(data, data + size);
    std::string error;
    IconFile asIcon;
    if (asIcon.Parse(file, &error)) {
        for (const IconImage& image : asIcon.images) Check(!image.data.empty());
    }
    ApplicationManifest::Check(file, &error);

    PeImage pe;
    ResourceTree tree;
    if (!pe.Parse(&file, &error) || !tree.Read(pe, &error)) return 0;
    tree.Find(kPayloadType, kPayloadName);
    const std::vector<uint8_t> payload = {4, 0, 0, 0, 'f', 'u', 'z', 'z'};
    tree.Replace(kPayloadType, kPayloadName, payload);
    static const std::vector<uint8_t> iconFile = SmallIconFile();
    IconFile icon;
    Check(icon.Parse(iconFile, &error));
    if (!icon.InstallAsGroup(kIconGroup, &tree, &error)) return 0;
    VersionResource version;
    version.fileVersion = 0x0002000100000007ull;
    version.strings.push_back({u"ProductName", u"Produit \u00e9"});
    std::vector<uint8_t> versionData;
    Check(version.Build(&versionData, &error));
    VersionResource::Install(versionData, &tree);
    const std::vector<uint8_t> manifest = ApplicationManifest::ForLevel("asInvoker");
    ApplicationManifest::Install(manifest, &tree);

    PeRebuild rebuilt;
    if (!RebuildWithResources(pe, tree, &rebuilt, &error)) return 0;
    PeImage again;
    ResourceTree againTree;
    Check(again.Parse(&rebuilt.file, &error));
    Check(againTree.Read(again, &error));
    Check(Leaves(againTree) == Leaves(tree));
    const ResourceLeaf* leaf = againTree.Find(kPayloadType, kPayloadName);
    Check(leaf != nullptr && leaf->data == payload);

    // The group names each image by an id that only that image holds.
    const ResourceLeaf* group = againTree.Find(ResourceKey::Id(IconFile::kGroupType), kIconGroup);
    Check(group != nullptr && group->data.size() == 6 + 14 * icon.images.size());
    for (size_t i = 0; i < icon.images.size(); ++i) {
        const uint16_t id = GetU16(group->data, 6 + 14 * i + 12);
        size_t holders = 0;
        for (const ResourceLeaf& l : againTree.leaves) {
            if (!l.type.Matches(ResourceKey::Id(IconFile::kIconType)) || !l.name.Matches(ResourceKey::Id(id)))
                continue;
            ++holders;
            Check(l.data == icon.images[i].data);
        }
        Check(holders == 1);
    }
    size_t versions = 0;
    for (const ResourceLeaf& l : againTree.leaves) {
        if (l.type.Matches(ResourceKey::Id(VersionResource::kType))) ++versions;
    }
    Check(versions == 1);
    return 0;
}
