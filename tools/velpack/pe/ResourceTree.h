// The resources of a PE image as a flat list of leaves (type, name,
// language, data), read from and written back to the three-level directory
// of a resource section.
#ifndef VEL_VELPACK_RESOURCETREE_H
#define VEL_VELPACK_RESOURCETREE_H

#include <cstdint>
#include <string>
#include <vector>

class PeImage;

// A type or name: a 16-bit id, or a UTF-16 string.
struct ResourceKey {
    bool named = false;
    uint16_t id = 0;
    std::u16string name;

    static ResourceKey Id(uint16_t id);
    static ResourceKey Name(const std::string& ascii);
    // Resource names match without regard to ASCII case, as the loader
    // upper-cases the name it is asked for.
    bool Matches(const ResourceKey& other) const;
};

struct ResourceLeaf {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

class ResourceTree {
public:
    // Reads the resource directory of pe. An image without one gives an
    // empty tree. false, with error set, for a directory that is not a
    // tree inside the image (a table outside the section, a loop, a leaf at
    // the wrong depth, data outside the image).
    bool Read(const PeImage& pe, std::string* error);

    // The leaf of type and name that FindResource finds for the neutral
    // language: language 0 if there is one, else the first; null if none.
    const ResourceLeaf* Find(const ResourceKey& type, const ResourceKey& name) const;

    // Puts data in place of every leaf of type and name, under the language
    // of the leaf Find gave (0 when there was none).
    void Replace(const ResourceKey& type, const ResourceKey& name, const std::vector<uint8_t>& data);

    // The section bytes for a section at rva: directories sorted as the
    // loader's binary search expects (names in code-unit order, then ids),
    // then the data entries, the name strings and the data, each blob
    // aligned to 8 bytes.
    std::vector<uint8_t> Build(uint32_t rva) const;

    std::vector<ResourceLeaf> leaves;
};

#endif
