#include "tools/velpack/pe/ResourceTree.h"

#include <map>
#include <set>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeLayout.h"

namespace {

const uint32_t kSubdirectory = 0x80000000u;  // in OffsetToData: a table follows
const uint32_t kNamedEntry = 0x80000000u;    // in Name: a string offset
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
        if (!Fits(offset, kPeResourceTableSize)) return Fail(error, "a directory table lies outside the section");
        const uint32_t count = GetU16(bytes_, offset + kPeResourceNamedCountField) +
                               uint32_t{GetU16(bytes_, offset + kPeResourceIdCountField)};
        if (!Fits(offset + kPeResourceTableSize, count * kPeResourceEntrySize)) {
            return Fail(error, "directory entries run outside the section");
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t e = offset + kPeResourceTableSize + i * kPeResourceEntrySize;
            const uint32_t nameField = GetU32(bytes_, e);
            const uint32_t target = GetU32(bytes_, e + kPeResourceTargetField);
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
        if (!Fits(offset, kPeResourceDataEntrySize)) return Fail(error, "a data entry lies outside the section");
        ResourceLeaf leaf;
        leaf.type = type;
        leaf.name = name;
        leaf.language = language;
        const uint32_t dataRva = GetU32(bytes_, offset);
        const uint32_t size = GetU32(bytes_, offset + kPeResourceDataSizeField);
        leaf.codePage = GetU32(bytes_, offset + kPeResourceCodePageField);
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

// Writes a tree: the directory tables breadth first (the root, every type
// table, every name table, every language table), then the data entries,
// the name strings and the data.
class TreeWriter {
public:
    explicit TreeWriter(const std::vector<ResourceLeaf>& leaves) {
        for (const ResourceLeaf& leaf : leaves) {
            types_[leaf.type][leaf.name][leaf.language].push_back(&leaf);
        }
        Measure();
    }

    // The directory tables and the name strings into a zeroed out, which
    // ends where the data begins; order receives the leaves in the order of
    // their data entries.
    void WriteDirectories(std::vector<uint8_t>* out, std::vector<const ResourceLeaf*>* order) const {
        out->assign(dataStart_, 0);
        uint32_t nextTable = 0;
        uint32_t nextString = stringArea_;
        uint32_t nextDataEntry = dataEntries_;
        auto putKey = [&](uint32_t entry, const ResourceKey& key) {
            if (!key.named) {
                PutU32(out, entry, key.id);
                return;
            }
            PutU32(out, entry, kNamedEntry | nextString);
            PutU16(out, nextString, static_cast<uint16_t>(key.name.size()));
            for (size_t i = 0; i < key.name.size(); ++i) {
                PutU16(out, nextString + 2 + 2 * i, static_cast<uint16_t>(key.name[i]));
            }
            nextString += 2 + 2 * static_cast<uint32_t>(key.name.size());
        };
        // One level's table at its place, each entry pointing at the table
        // that follows for it; answers the places of those tables.
        auto putLevel = [&](uint32_t at, const auto& level, auto entriesOf) {
            PutTable(out, at, level);
            std::vector<uint32_t> next;
            uint32_t entry = at + kPeResourceTableSize;
            for (const auto& e : level) {
                putKey(entry, e.first);
                PutU32(out, entry + kPeResourceTargetField, kSubdirectory | nextTable);
                next.push_back(nextTable);
                nextTable += TableSize(entriesOf(e.second));
                entry += kPeResourceEntrySize;
            }
            return next;
        };
        const uint32_t root = nextTable;
        nextTable += TableSize(types_.size());
        const std::vector<uint32_t> typeTables =
            putLevel(root, types_, [](const Names& names) { return names.size(); });
        std::vector<std::pair<uint32_t, const Languages*>> nameTables;
        size_t t = 0;
        for (const auto& type : types_) {
            const std::vector<uint32_t> places =
                putLevel(typeTables[t++], type.second, [](const Languages& l) { return Count(l); });
            size_t n = 0;
            for (const auto& name : type.second) nameTables.push_back({places[n++], &name.second});
        }
        for (const auto& nt : nameTables) {
            const size_t count = Count(*nt.second);
            PutU16(out, nt.first + kPeResourceNamedCountField, 0);
            PutU16(out, nt.first + kPeResourceIdCountField, static_cast<uint16_t>(count));
            uint32_t entry = nt.first + kPeResourceTableSize;
            for (const auto& l : *nt.second) {
                for (const ResourceLeaf* leaf : l.second) {
                    PutU32(out, entry, l.first);
                    PutU32(out, entry + kPeResourceTargetField, nextDataEntry);
                    order->push_back(leaf);
                    nextDataEntry += kPeResourceDataEntrySize;
                    entry += kPeResourceEntrySize;
                }
            }
        }
    }

    // The data entries (addresses as RVAs for a section at rva) and the
    // data behind the directories, each blob aligned to 8 bytes.
    void WriteData(uint32_t rva, const std::vector<const ResourceLeaf*>& order,
                   std::vector<uint8_t>* out) const {
        uint32_t dataEntry = dataEntries_;
        for (const ResourceLeaf* leaf : order) {
            out->resize(Align(static_cast<uint32_t>(out->size()), 8));
            PutU32(out, dataEntry, rva + static_cast<uint32_t>(out->size()));
            PutU32(out, dataEntry + kPeResourceDataSizeField, static_cast<uint32_t>(leaf->data.size()));
            PutU32(out, dataEntry + kPeResourceCodePageField, leaf->codePage);
            out->insert(out->end(), leaf->data.begin(), leaf->data.end());
            dataEntry += kPeResourceDataEntrySize;
        }
    }

private:
    // type -> name -> language -> leaves (in their list order)
    using Languages = std::map<uint16_t, std::vector<const ResourceLeaf*>>;
    using Names = std::map<ResourceKey, Languages, KeyOrder>;
    using Types = std::map<ResourceKey, Names, KeyOrder>;

    static uint32_t TableSize(size_t entries) {
        return kPeResourceTableSize + kPeResourceEntrySize * static_cast<uint32_t>(entries);
    }
    static size_t Count(const Languages& languages) {
        size_t n = 0;
        for (const auto& l : languages) n += l.second.size();
        return n;
    }
    // A table's header: its named entries, then its id entries.
    template <typename Level>
    static void PutTable(std::vector<uint8_t>* out, uint32_t at, const Level& level) {
        uint16_t named = 0;
        for (const auto& e : level) named = static_cast<uint16_t>(named + (e.first.named ? 1 : 0));
        PutU16(out, at + kPeResourceNamedCountField, named);
        PutU16(out, at + kPeResourceIdCountField, static_cast<uint16_t>(level.size() - named));
    }

    // Sizes: directory tables, then data entries, strings and data.
    void Measure() {
        uint32_t tables = TableSize(types_.size());
        uint32_t leafCount = 0;
        uint32_t strings = 0;
        for (const auto& t : types_) {
            tables += TableSize(t.second.size());
            if (t.first.named) strings += 2 + 2 * static_cast<uint32_t>(t.first.name.size());
            for (const auto& n : t.second) {
                tables += TableSize(Count(n.second));
                leafCount += static_cast<uint32_t>(Count(n.second));
                if (n.first.named) strings += 2 + 2 * static_cast<uint32_t>(n.first.name.size());
            }
        }
        dataEntries_ = tables;
        stringArea_ = dataEntries_ + leafCount * kPeResourceDataEntrySize;
        dataStart_ = Align(stringArea_ + strings, 8);
    }

    Types types_;
    uint32_t dataEntries_ = 0;  // where the data entries begin
    uint32_t stringArea_ = 0;   // where the name strings begin
    uint32_t dataStart_ = 0;    // where the data begins
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
    const TreeWriter writer(leaves);
    std::vector<uint8_t> out;
    std::vector<const ResourceLeaf*> order;
    writer.WriteDirectories(&out, &order);
    writer.WriteData(rva, order, &out);
    return out;
}
