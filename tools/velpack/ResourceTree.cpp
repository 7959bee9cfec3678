#include "tools/velpack/ResourceTree.h"

#include <map>
#include <set>

#include "tools/velpack/PeImage.h"

namespace {

const uint32_t kSubdirectory = 0x80000000u;  // in OffsetToData: a table follows
const uint32_t kNamedEntry = 0x80000000u;    // in Name: a string offset
const uint32_t kTableHeader = 16;
const uint32_t kEntrySize = 8;
const uint32_t kDataEntrySize = 16;
const int kLanguageLevel = 2;
// Data of all leaves together; more would not fit in the 32-bit section.
const uint64_t kMaxData = 0x7FFFFFFF;

char16_t UpperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

// Directory order: named entries first, by their UTF-16 code units; then ids.
struct KeyOrder {
    bool operator()(const ResourceKey& a, const ResourceKey& b) const {
        if (a.named != b.named) return a.named;
        if (a.named) return a.name < b.name;
        return a.id < b.id;
    }
};

uint32_t Align(uint32_t v, uint32_t a) { return (v + a - 1) & ~(a - 1); }

class TreeReader {
public:
    TreeReader(const PeImage& pe, const std::vector<uint8_t>& bytes,
               std::vector<ResourceLeaf>* leaves)
        : pe_(pe), bytes_(bytes), leaves_(leaves), dataBytes_(0) {}

    bool Table(uint32_t offset, int level, const ResourceKey& type, const ResourceKey& name,
               std::string* error) {
        // A table met twice would be a loop, or a leaf counted twice.
        if (!visited_.insert(offset).second) return Fail(error, "a directory table is reached twice");
        if (!Fits(offset, kTableHeader)) return Fail(error, "a directory table lies outside the section");
        const uint32_t count = GetU16(bytes_, offset + 12) + uint32_t{GetU16(bytes_, offset + 14)};
        if (!Fits(offset + kTableHeader, count * kEntrySize)) {
            return Fail(error, "directory entries run outside the section");
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t e = offset + kTableHeader + i * kEntrySize;
            const uint32_t nameField = GetU32(bytes_, e);
            const uint32_t target = GetU32(bytes_, e + 4);
            ResourceKey key;
            if ((nameField & kNamedEntry) != 0) {
                if (level == kLanguageLevel) return Fail(error, "a language given by name");
                if (!String(nameField & ~kNamedEntry, &key, error)) return false;
            } else {
                key = ResourceKey::Id(static_cast<uint16_t>(nameField));
            }
            const bool isTable = (target & kSubdirectory) != 0;
            if (isTable != (level < kLanguageLevel)) {
                return Fail(error, "the directory is not three levels deep");
            }
            bool ok;
            if (level == 0) {
                ok = Table(target & ~kSubdirectory, 1, key, ResourceKey(), error);
            } else if (level == 1) {
                ok = Table(target & ~kSubdirectory, 2, type, key, error);
            } else {
                ok = Leaf(target, type, name, key.id, error);
            }
            if (!ok) return false;
        }
        return true;
    }

private:
    bool Fail(std::string* error, const char* what) {
        *error = what;
        return false;
    }

    bool Fits(uint32_t offset, uint64_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }

    bool String(uint32_t offset, ResourceKey* key, std::string* error) {
        if (!Fits(offset, 2)) return Fail(error, "a resource name lies outside the section");
        const uint32_t n = GetU16(bytes_, offset);
        if (!Fits(offset + 2, uint64_t{n} * 2)) {
            return Fail(error, "a resource name runs outside the section");
        }
        key->named = true;
        key->name.resize(n);
        for (uint32_t i = 0; i < n; ++i) key->name[i] = GetU16(bytes_, offset + 2 + 2 * i);
        return true;
    }

    bool Leaf(uint32_t offset, const ResourceKey& type, const ResourceKey& name, uint16_t language,
              std::string* error) {
        if (!Fits(offset, kDataEntrySize)) return Fail(error, "a data entry lies outside the section");
        ResourceLeaf leaf;
        leaf.type = type;
        leaf.name = name;
        leaf.language = language;
        const uint32_t dataRva = GetU32(bytes_, offset);
        const uint32_t size = GetU32(bytes_, offset + 4);
        leaf.codePage = GetU32(bytes_, offset + 8);
        dataBytes_ += size;
        if (dataBytes_ > kMaxData) return Fail(error, "resource data larger than 2 GiB");
        uint32_t at = 0;
        // Empty data has no place to check: it may point anywhere, even at
        // the end of the tree.
        if (size != 0 && !pe_.FileOffset(dataRva, size, &at)) {
            return Fail(error, "resource data lies outside the file");
        }
        leaf.data.assign(pe_.file->begin() + at, pe_.file->begin() + at + size);
        leaves_->push_back(std::move(leaf));
        return true;
    }

    const PeImage& pe_;
    const std::vector<uint8_t>& bytes_;
    std::vector<ResourceLeaf>* leaves_;
    uint64_t dataBytes_;
    std::set<uint32_t> visited_;
};

}  // namespace

ResourceKey ResourceKey::Id(uint16_t id) {
    ResourceKey k;
    k.id = id;
    return k;
}

ResourceKey ResourceKey::Name(const std::string& ascii) {
    ResourceKey k;
    k.named = true;
    for (char c : ascii) k.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return k;
}

bool ResourceKey::Matches(const ResourceKey& other) const {
    if (named != other.named) return false;
    if (!named) return id == other.id;
    if (name.size() != other.name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (UpperAscii(name[i]) != UpperAscii(other.name[i])) return false;
    }
    return true;
}

bool ResourceTree::Read(const PeImage& pe, std::string* error) {
    leaves.clear();
    const PeDirectory dir = pe.Directory(PeImage::kResourceDirectory);
    if (dir.address == 0 && dir.size == 0) return true;
    const int section = pe.SectionOf(dir.address);
    if (section < 0) {
        *error = "the resource directory lies outside every section";
        return false;
    }
    // Tables may lie anywhere from the directory to the end of its section's
    // data in the file.
    const PeSection& s = pe.sections[static_cast<size_t>(section)];
    const uint32_t at = dir.address - s.virtualAddress;
    uint32_t offset = 0;
    if (at >= s.rawSize || !pe.FileOffset(dir.address, s.rawSize - at, &offset)) {
        *error = "the resource directory lies outside the file";
        return false;
    }
    const std::vector<uint8_t> bytes(pe.file->begin() + offset, pe.file->begin() + offset + (s.rawSize - at));
    TreeReader reader(pe, bytes, &leaves);
    return reader.Table(0, 0, ResourceKey(), ResourceKey(), error);
}

const ResourceLeaf* ResourceTree::Find(const ResourceKey& type, const ResourceKey& name) const {
    const ResourceLeaf* first = nullptr;
    for (const ResourceLeaf& leaf : leaves) {
        if (!leaf.type.Matches(type) || !leaf.name.Matches(name)) continue;
        if (leaf.language == 0) return &leaf;
        if (first == nullptr) first = &leaf;
    }
    return first;
}

void ResourceTree::Replace(const ResourceKey& type, const ResourceKey& name,
                           const std::vector<uint8_t>& data) {
    ResourceLeaf leaf;
    leaf.type = type;
    leaf.name = name;
    if (const ResourceLeaf* old = Find(type, name)) {
        leaf.type = old->type;
        leaf.name = old->name;
        leaf.language = old->language;
    }
    leaf.data = data;
    std::vector<ResourceLeaf> kept;
    for (ResourceLeaf& l : leaves) {
        if (!(l.type.Matches(type) && l.name.Matches(name))) kept.push_back(std::move(l));
    }
    kept.push_back(std::move(leaf));
    leaves.swap(kept);
}

std::vector<uint8_t> ResourceTree::Build(uint32_t rva) const {
    // type -> name -> language -> leaves (in their list order)
    using Languages = std::map<uint16_t, std::vector<const ResourceLeaf*>>;
    using Names = std::map<ResourceKey, Languages, KeyOrder>;
    std::map<ResourceKey, Names, KeyOrder> types;
    for (const ResourceLeaf& leaf : leaves) types[leaf.type][leaf.name][leaf.language].push_back(&leaf);

    // Sizes: directory tables, then data entries, strings and data.
    auto tableSize = [](size_t entries) { return kTableHeader + kEntrySize * static_cast<uint32_t>(entries); };
    uint32_t tables = tableSize(types.size());
    uint32_t leafCount = 0;
    uint32_t strings = 0;
    for (const auto& t : types) {
        tables += tableSize(t.second.size());
        if (t.first.named) strings += 2 + 2 * static_cast<uint32_t>(t.first.name.size());
        for (const auto& n : t.second) {
            size_t languages = 0;
            for (const auto& l : n.second) languages += l.second.size();
            tables += tableSize(languages);
            leafCount += static_cast<uint32_t>(languages);
            if (n.first.named) strings += 2 + 2 * static_cast<uint32_t>(n.first.name.size());
        }
    }
    const uint32_t dataEntries = tables;
    const uint32_t stringArea = dataEntries + leafCount * kDataEntrySize;
    uint32_t data = Align(stringArea + strings, 8);

    std::vector<uint8_t> out(data);
    uint32_t nextTable = 0;
    uint32_t nextDataEntry = dataEntries;
    uint32_t nextString = stringArea;

    auto putTable = [&](uint32_t at, uint16_t named, uint16_t ids) {
        PutU16(&out, at + 12, named);
        PutU16(&out, at + 14, ids);
    };
    auto putKey = [&](uint32_t entry, const ResourceKey& key) {
        if (!key.named) {
            PutU32(&out, entry, key.id);
            return;
        }
        PutU32(&out, entry, kNamedEntry | nextString);
        PutU16(&out, nextString, static_cast<uint16_t>(key.name.size()));
        for (size_t i = 0; i < key.name.size(); ++i) {
            PutU16(&out, nextString + 2 + 2 * i, static_cast<uint16_t>(key.name[i]));
        }
        nextString += 2 + 2 * static_cast<uint32_t>(key.name.size());
    };
    auto countNamed = [](const auto& level) {
        uint16_t n = 0;
        for (const auto& e : level) n = static_cast<uint16_t>(n + (e.first.named ? 1 : 0));
        return n;
    };

    // Breadth first: the root, every type table, every name table.
    const uint32_t root = nextTable;
    nextTable += tableSize(types.size());
    putTable(root, countNamed(types), static_cast<uint16_t>(types.size() - countNamed(types)));
    std::vector<std::pair<uint32_t, const Names*>> typeTables;
    uint32_t entry = root + kTableHeader;
    for (const auto& t : types) {
        putKey(entry, t.first);
        PutU32(&out, entry + 4, kSubdirectory | nextTable);
        typeTables.push_back({nextTable, &t.second});
        nextTable += tableSize(t.second.size());
        entry += kEntrySize;
    }
    std::vector<std::pair<uint32_t, const Languages*>> nameTables;
    for (const auto& tt : typeTables) {
        const Names& names = *tt.second;
        putTable(tt.first, countNamed(names), static_cast<uint16_t>(names.size() - countNamed(names)));
        entry = tt.first + kTableHeader;
        for (const auto& n : names) {
            putKey(entry, n.first);
            PutU32(&out, entry + 4, kSubdirectory | nextTable);
            size_t languages = 0;
            for (const auto& l : n.second) languages += l.second.size();
            nameTables.push_back({nextTable, &n.second});
            nextTable += tableSize(languages);
            entry += kEntrySize;
        }
    }
    for (const auto& nt : nameTables) {
        uint16_t count = 0;
        entry = nt.first + kTableHeader;
        for (const auto& l : *nt.second) {
            for (const ResourceLeaf* leaf : l.second) {
                PutU32(&out, entry, l.first);
                PutU32(&out, entry + 4, nextDataEntry);
                // The data entry: where the bytes are, as an RVA.
                out.resize(Align(data, 8));
                data = static_cast<uint32_t>(out.size());
                PutU32(&out, nextDataEntry, rva + data);
                PutU32(&out, nextDataEntry + 4, static_cast<uint32_t>(leaf->data.size()));
                PutU32(&out, nextDataEntry + 8, leaf->codePage);
                out.insert(out.end(), leaf->data.begin(), leaf->data.end());
                data = static_cast<uint32_t>(out.size());
                nextDataEntry += kDataEntrySize;
                entry += kEntrySize;
                ++count;
            }
        }
        putTable(nt.first, 0, count);
    }
    return out;
}
