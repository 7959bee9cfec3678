#include "tools/velpack/pe/IconFile.h"

#include <algorithm>
#include <set>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/pe/PeImage.h"

namespace {

const uint32_t kFileHeader = 6;    // reserved, type, count
const uint32_t kFileEntry = 16;    // ... then the image's size and offset
const uint32_t kGroupEntry = 14;   // ... then the image's size and RT_ICON id
const uint16_t kIconFileType = 1;  // 2 is a cursor file
const uint32_t kInfoHeaderSize = 40;
const uint32_t kMaxSide = 256;
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Signature, then the IHDR chunk: length 13, type, width, height, ... CRC.
const uint32_t kPngHeaderEnd = 8 + 8 + 13 + 4;

uint32_t Side(uint8_t field) { return field == 0 ? kMaxSide : field; }

uint32_t GetU32Big(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

std::string Size(uint64_t width, uint64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// Bytes of one row of width pixels of bits each, in 32-bit units.
uint64_t Stride(uint64_t width, uint64_t bits) { return (width * bits + 31) / 32 * 4; }

// An empty answer when image's data is a PNG or a bitmap that matches its
// directory entry; else what is wrong.
std::string CheckPng(const IconImage& image) {
    const std::vector<uint8_t>& d = image.data;
    if (d.size() < kPngHeaderEnd || GetU32Big(d, 8) != 13 ||
        !std::equal(d.begin() + 12, d.begin() + 16, "IHDR")) {
        return "a PNG without its IHDR header";
    }
    const uint32_t width = GetU32Big(d, 16);
    const uint32_t height = GetU32Big(d, 20);
    if (width != Side(image.width) || height != Side(image.height)) {
        return "the PNG is " + Size(width, height) + ", the directory says " +
               Size(Side(image.width), Side(image.height));
    }
    return "";
}

std::string CheckBitmap(const IconImage& image) {
    const std::vector<uint8_t>& d = image.data;
    if (d.size() < kInfoHeaderSize || GetU32(d, 0) != kInfoHeaderSize) {
        return "neither a PNG nor a bitmap with a 40-byte BITMAPINFOHEADER";
    }
    const int32_t width = static_cast<int32_t>(GetU32(d, 4));
    const int32_t doubled = static_cast<int32_t>(GetU32(d, 8));
    const uint32_t bits = GetU16(d, 14);
    const uint32_t compression = GetU32(d, 16);
    const uint32_t used = GetU32(d, 32);
    // An icon's bitmap holds the image and its mask, one above the other.
    if (width <= 0 || doubled <= 0 || doubled % 2 != 0) {
        return "a bitmap of " + std::to_string(width) + " by " + std::to_string(doubled) +
               " pixels is not an icon's image and mask";
    }
    const uint32_t height = static_cast<uint32_t>(doubled) / 2;
    if (static_cast<uint32_t>(width) != Side(image.width) || height != Side(image.height)) {
        return "the bitmap is " + Size(static_cast<uint32_t>(width), height) + ", the directory says " +
               Size(Side(image.width), Side(image.height));
    }
    if (GetU16(d, 12) != 1) return "a bitmap of " + std::to_string(GetU16(d, 12)) + " planes";
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return "a bitmap of " + std::to_string(bits) + " bits per pixel";
    }
    if (compression != 0) {
        return "a compressed bitmap (compression " + std::to_string(compression) +
               "); icons hold uncompressed ones";
    }
    const uint32_t maxColors = bits <= 8 ? 1u << bits : kMaxSide;
    if (used > maxColors) {
        return "a palette of " + std::to_string(used) + " colours at " + std::to_string(bits) +
               " bits per pixel";
    }
    const uint64_t colors = used != 0 ? used : (bits <= 8 ? maxColors : 0);
    const uint64_t need = kInfoHeaderSize + 4 * colors + height * (Stride(width, bits) + Stride(width, 1));
    if (d.size() < need) {
        return std::to_string(d.size()) + " bytes, where its header, palette, image and mask take " +
               std::to_string(need);
    }
    return "";
}

// Adds the RT_ICON ids that the group directory data names to ids.
void GroupIds(const std::vector<uint8_t>& data, std::set<uint16_t>* ids) {
    if (data.size() < kFileHeader) return;
    const uint32_t count = GetU16(data, 4);
    for (uint32_t i = 0; i < count && kFileHeader + kGroupEntry * (i + 1) <= data.size(); ++i) {
        ids->insert(GetU16(data, kFileHeader + kGroupEntry * i + 12));
    }
}

}  // namespace

bool IconFile::Parse(const std::vector<uint8_t>& bytes, std::string* error) {
    if (bytes.size() < kFileHeader || GetU16(bytes, 0) != 0) return Fail(error, "not an icon file");
    const uint16_t type = GetU16(bytes, 2);
    if (type == 2) return Fail(error, "a cursor file, not an icon");
    if (type != kIconFileType) return Fail(error, "not an icon file");
    const uint32_t count = GetU16(bytes, 4);
    if (count == 0) return Fail(error, "the icon file holds no image");
    const uint64_t directoryEnd = kFileHeader + uint64_t{kFileEntry} * count;
    if (directoryEnd > bytes.size()) {
        return Fail(error, "the image directory runs past the end of the file (image count " +
                               std::to_string(count) + ")");
    }
    struct Place {
        uint64_t at, end;
        uint32_t index;
    };
    std::vector<Place> places;
    std::vector<IconImage> parsed;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = kFileHeader + kFileEntry * i;
        const std::string which = "image " + std::to_string(i + 1) + ": ";
        const uint32_t size = GetU32(bytes, e + 8);
        const uint32_t at = GetU32(bytes, e + 12);
        if (size == 0) return Fail(error, which + "no data");
        if (at < directoryEnd) return Fail(error, which + "its data starts inside the directory");
        if (uint64_t{at} + size > bytes.size()) {
            return Fail(error, which + "its " + std::to_string(size) + " bytes at offset " +
                                   std::to_string(at) + " run past the end of the file");
        }
        IconImage image;
        image.width = bytes[e];
        image.height = bytes[e + 1];
        image.colorCount = bytes[e + 2];
        image.reserved = bytes[e + 3];
        image.planes = GetU16(bytes, e + 4);
        image.bitCount = GetU16(bytes, e + 6);
        image.data.assign(bytes.begin() + at, bytes.begin() + at + size);
        const bool png = size >= sizeof kPngSignature &&
                         std::equal(kPngSignature, kPngSignature + sizeof kPngSignature, image.data.begin());
        const std::string problem = png ? CheckPng(image) : CheckBitmap(image);
        if (!problem.empty()) return Fail(error, which + problem);
        places.push_back(Place{at, uint64_t{at} + size, i + 1});
        parsed.push_back(std::move(image));
    }
    std::sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.at < b.at; });
    for (size_t i = 1; i < places.size(); ++i) {
        if (places[i].at < places[i - 1].end) {
            const uint32_t a = std::min(places[i - 1].index, places[i].index);
            const uint32_t b = std::max(places[i - 1].index, places[i].index);
            return Fail(error, "images " + std::to_string(a) + " and " + std::to_string(b) + " share bytes");
        }
    }
    images.swap(parsed);
    return true;
}

bool IconFile::InstallAsGroup(const ResourceKey& group, ResourceTree* tree, std::string* error) const {
    const ResourceKey groupType = ResourceKey::Id(kGroupType);
    const ResourceKey iconType = ResourceKey::Id(kIconType);
    // The group's images go unless another group shows them as well.
    std::set<uint16_t> old;
    std::set<uint16_t> shown;
    for (const ResourceLeaf& l : tree->leaves) {
        if (l.type.Matches(groupType)) GroupIds(l.data, l.name.Matches(group) ? &old : &shown);
    }
    auto goes = [&](const ResourceLeaf& l) {
        return l.type.Matches(iconType) && !l.name.named && old.count(l.name.id) != 0 &&
               shown.count(l.name.id) == 0;
    };
    std::set<uint16_t> used;
    for (const ResourceLeaf& l : tree->leaves) {
        if (l.type.Matches(iconType) && !l.name.named && !goes(l)) used.insert(l.name.id);
    }
    std::vector<uint16_t> ids;
    for (uint32_t id = 1; id <= UINT16_MAX && ids.size() < images.size(); ++id) {
        if (used.count(static_cast<uint16_t>(id)) == 0) ids.push_back(static_cast<uint16_t>(id));
    }
    if (ids.size() < images.size()) {
        return Fail(error, "no free RT_ICON ids left for " + std::to_string(images.size()) + " images");
    }

    const ResourceLeaf* found = tree->Find(groupType, group);
    const uint16_t language = found != nullptr ? found->language : 0;
    std::vector<uint8_t> directory(kFileHeader + kGroupEntry * images.size(), 0);
    PutU16(&directory, 2, kIconFileType);
    PutU16(&directory, 4, static_cast<uint16_t>(images.size()));
    tree->leaves.erase(std::remove_if(tree->leaves.begin(), tree->leaves.end(), goes), tree->leaves.end());
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        const size_t e = kFileHeader + kGroupEntry * i;
        directory[e] = image.width;
        directory[e + 1] = image.height;
        directory[e + 2] = image.colorCount;
        directory[e + 3] = image.reserved;
        PutU16(&directory, e + 4, image.planes);
        PutU16(&directory, e + 6, image.bitCount);
        PutU32(&directory, e + 8, static_cast<uint32_t>(image.data.size()));
        PutU16(&directory, e + 12, ids[i]);
        ResourceLeaf icon;
        icon.type = iconType;
        icon.name = ResourceKey::Id(ids[i]);
        icon.language = language;
        icon.data = image.data;
        tree->leaves.push_back(std::move(icon));
    }
    tree->Replace(groupType, group, directory);
    return true;
}
