#include "tools/velpack/pe/VersionResource.h"

#include <algorithm>

#include "tools/velpack/pe/PeImage.h"

namespace {

const uint16_t kBinary = 0;
const uint16_t kText = 1;
const uint32_t kFixedSignature = 0xFEEF04BD;
const uint32_t kFixedStructVersion = 0x00010000;
const uint32_t kFileFlagsMask = 0x3F;     // VS_FFI_FILEFLAGSMASK
const uint32_t kFileOs = 0x00040004;      // VOS_NT_WINDOWS32
const uint32_t kFileTypeApplication = 1;  // VFT_APP
const uint32_t kFixedSize = 13 * 4;
const size_t kMaxLength = UINT16_MAX;

void Align4(std::vector<uint8_t>* b) { b->resize((b->size() + 3) / 4 * 4, 0); }

void PutText(std::vector<uint8_t>* b, const std::u16string& text) {
    for (char16_t c : text) {
        b->push_back(static_cast<uint8_t>(c));
        b->push_back(static_cast<uint8_t>(c >> 8));
    }
    b->push_back(0);
    b->push_back(0);
}

// One block of the version information: its length, its value's length
// (bytes for binary values, characters with the terminator for text), its
// type, its key, then its value and its children, each on a 4-byte
// boundary. The length covers all of it but the padding behind. too is set
// when a length does not fit its 16 bits.
std::vector<uint8_t> Block(const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
                           uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children,
                           bool* tooLong) {
    std::vector<uint8_t> b(6, 0);
    PutText(&b, key);
    Align4(&b);
    b.insert(b.end(), value.begin(), value.end());
    for (const std::vector<uint8_t>& child : children) {
        Align4(&b);
        b.insert(b.end(), child.begin(), child.end());
    }
    if (b.size() > kMaxLength) *tooLong = true;
    PutU16(&b, 0, static_cast<uint16_t>(b.size()));
    PutU16(&b, 2, valueLength);
    PutU16(&b, 4, type);
    return b;
}

std::vector<uint8_t> FixedInfo(uint64_t fileVersion, uint64_t productVersion) {
    const uint32_t fields[13] = {kFixedSignature,
                                 kFixedStructVersion,
                                 static_cast<uint32_t>(fileVersion >> 32),
                                 static_cast<uint32_t>(fileVersion),
                                 static_cast<uint32_t>(productVersion >> 32),
                                 static_cast<uint32_t>(productVersion),
                                 kFileFlagsMask,
                                 0,
                                 kFileOs,
                                 kFileTypeApplication,
                                 0,
                                 0,
                                 0};
    std::vector<uint8_t> b(kFixedSize, 0);
    for (size_t i = 0; i < 13; ++i) PutU32(&b, 4 * i, fields[i]);
    return b;
}

}  // namespace

bool VersionResource::Build(std::vector<uint8_t>* data, std::string* error) const {
    bool tooLong = false;
    std::vector<std::vector<uint8_t>> table;
    for (const auto& s : strings) {
        std::vector<uint8_t> value;
        PutText(&value, s.second);
        table.push_back(
            Block(s.first, kText, value, static_cast<uint16_t>(s.second.size() + 1), {}, &tooLong));
    }
    const std::vector<uint8_t> stringFileInfo =
        Block(u"StringFileInfo", kText, {}, 0, {Block(u"040C04E4", kText, {}, 0, table, &tooLong)}, &tooLong);
    std::vector<uint8_t> translation(4, 0);
    PutU16(&translation, 0, kLanguage);
    PutU16(&translation, 2, kCodePage);
    const std::vector<uint8_t> varFileInfo =
        Block(u"VarFileInfo", kText, {}, 0, {Block(u"Translation", kBinary, translation, 4, {}, &tooLong)},
              &tooLong);
    std::vector<uint8_t> all = Block(u"VS_VERSION_INFO", kBinary, FixedInfo(fileVersion, productVersion),
                                     kFixedSize, {stringFileInfo, varFileInfo}, &tooLong);
    if (tooLong) {
        *error = "the version information takes more than 64 KB";
        return false;
    }
    data->swap(all);
    return true;
}

void VersionResource::Install(const std::vector<uint8_t>& data, ResourceTree* tree) {
    const ResourceKey type = ResourceKey::Id(kType);
    std::vector<ResourceLeaf>& leaves = tree->leaves;
    leaves.erase(std::remove_if(leaves.begin(), leaves.end(),
                                [&](const ResourceLeaf& l) { return l.type.Matches(type); }),
                 leaves.end());
    ResourceLeaf leaf;
    leaf.type = type;
    leaf.name = ResourceKey::Id(1);
    leaf.language = kLanguage;
    leaf.data = data;
    leaves.push_back(std::move(leaf));
}
