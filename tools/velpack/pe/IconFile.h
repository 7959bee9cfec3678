// An icon file (.ico) read strictly, and put into a resource tree the way
// a resource compiler does: one RT_GROUP_ICON directory naming RT_ICON
// images by id.
#ifndef VEL_VELPACK_ICONFILE_H
#define VEL_VELPACK_ICONFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velpack/pe/ResourceTree.h"

struct IconImage {
    // The directory entry's fields as the file gives them; a group entry
    // carries the same ones (width and height 0 stand for 256).
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t colorCount = 0;
    uint8_t reserved = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    std::vector<uint8_t> data;  // a PNG file, or a DIB with its mask
};

class IconFile {
public:
    static const uint16_t kIconType = 3;    // RT_ICON
    static const uint16_t kGroupType = 14;  // RT_GROUP_ICON

    // Reads an .ico file. false, with error set, for anything Windows would
    // not show as given: a header that is not an icon's, no images, a
    // directory or an image outside the file, images sharing bytes, data
    // that is neither a PNG nor a bitmap whose header, palette and masks fit
    // its bytes, sizes that differ from the directory's.
    bool Parse(const std::vector<uint8_t>& bytes, std::string* error);

    // Makes these images the icon group of that name in tree: the group's
    // old images go (unless another group shows them too), every image
    // becomes an RT_ICON under the smallest ids no other RT_ICON holds, in
    // the group's language. false, with error set, when ids run out.
    bool InstallAsGroup(const ResourceKey& group, ResourceTree* tree, std::string* error) const;

    std::vector<IconImage> images;
};

#endif
