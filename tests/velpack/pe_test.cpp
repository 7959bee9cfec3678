#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <imagehlp.h>
#endif

#include <algorithm>
#include <string>
#include <vector>

#include "tests/velpack/PeBuilder.h"
#include "tools/velpack/payload/PayloadSource.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeRebuild.h"
#include "tools/velpack/pe/ResourceTree.h"

namespace {

using testpe::Bytes;

ResourceLeaf Leaf(const ResourceKey& type, const ResourceKey& name, uint16_t language,
                  const std::string& data) {
    ResourceLeaf l;
    l.type = type;
    l.name = name;
    l.language = language;
    l.codePage = language == 0 ? 0 : 1252;
    l.data.assign(data.begin(), data.end());
    return l;
}

// A stub's kinds of resources, out of order on purpose.
ResourceTree StubTree() {
    ResourceTree t;
    t.leaves.push_back(Leaf(ResourceKey::Id(6), ResourceKey::Id(1), 0x40C, "strings"));
    t.leaves.push_back(Leaf(ResourceKey::Name("ZED"), ResourceKey::Id(3), 0, "zed"));
    t.leaves.push_back(Leaf(PayloadResourceType(), PayloadResourceName(), 0, "old payload"));
    t.leaves.push_back(Leaf(ResourceKey::Id(3), ResourceKey::Id(2), 0x40C, "icon two"));
    t.leaves.push_back(Leaf(ResourceKey::Id(3), ResourceKey::Id(1), 0x40C, "icon one"));
    t.leaves.push_back(Leaf(ResourceKey::Id(5), ResourceKey::Name("ECHO_DLG"), 0x40C, "dialog"));
    t.leaves.push_back(Leaf(ResourceKey::Id(5), ResourceKey::Name("ECHO_DLG"), 0x409, "dialog us"));
    t.leaves.push_back(Leaf(ResourceKey::Name("ABC"), ResourceKey::Id(1), 0, ""));
    return t;
}

std::string Describe(const ResourceLeaf& l) {
    auto key = [](const ResourceKey& k) {
        return k.named ? std::string(k.name.begin(), k.name.end()) : std::to_string(k.id);
    };
    return key(l.type) + "/" + key(l.name) + "/" + std::to_string(l.language) + "/" +
           std::to_string(l.codePage) + "=" + std::string(l.data.begin(), l.data.end());
}

std::vector<std::string> Describe(const ResourceTree& t) {
    std::vector<std::string> d;
    for (const ResourceLeaf& l : t.leaves) d.push_back(Describe(l));
    std::sort(d.begin(), d.end());
    return d;
}

const uint32_t kCode = 0x60000020;

// .text at 0x1000, the tree in .rsrc at 0x2000 (its directory in slot 2).
testpe::Image ImageWith(const ResourceTree& tree) {
    testpe::Image image;
    image.sections.push_back({".text", 0x1000, 0, Bytes(0x300, 0xCC), kCode});
    image.sections.push_back({".rsrc", 0x2000, 0, tree.Build(0x2000), testpe::kReadOnlyData});
    image.directories[PeImage::kResourceDirectory] = {0x2000, static_cast<uint32_t>(image.sections[1].data.size())};
    return image;
}

struct Parsed {
    Bytes file;
    PeImage pe;
    ResourceTree tree;
    std::string error;
    bool ok;
    explicit Parsed(Bytes bytes) : file(std::move(bytes)) {
        ok = pe.Parse(&file, &error) && tree.Read(pe, &error);
    }
};

PeRebuild Rebuild(const Bytes& file, const Bytes& payload, std::string* error) {
    Parsed in(file);
    EXPECT_TRUE(in.ok) << in.error;
    in.tree.Replace(PayloadResourceType(), PayloadResourceName(), payload);
    PeRebuild out;
    if (!RebuildWithResources(in.pe, in.tree, &out, error)) out.file.clear();
    return out;
}

// The rebuilt file carries payload, keeps every other leaf, and has its
// headers in order: image size, checksum, resource directory.
void ExpectSound(const Bytes& file, const Bytes& payload) {
    Parsed out(file);
    ASSERT_TRUE(out.ok) << out.error;
    const ResourceLeaf* leaf = out.tree.Find(PayloadResourceType(), PayloadResourceName());
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->data, payload);
    ResourceTree expected = StubTree();
    expected.Replace(PayloadResourceType(), PayloadResourceName(), payload);
    EXPECT_EQ(Describe(out.tree), Describe(expected));
    uint64_t end = 0;
    for (const PeSection& s : out.pe.sections) {
        end = std::max<uint64_t>(end, s.virtualAddress + uint64_t{s.virtualSize});
        EXPECT_EQ(s.virtualAddress % out.pe.sectionAlignment, 0u) << s.name;
        EXPECT_EQ(s.rawPointer % out.pe.fileAlignment, 0u) << s.name;
    }
    const uint32_t o = out.pe.optionalOffset;
    EXPECT_EQ(GetU32(file, o + PeImage::kSizeOfImageField),
              (end + out.pe.sectionAlignment - 1) / out.pe.sectionAlignment * out.pe.sectionAlignment);
    EXPECT_EQ(GetU32(file, o + PeImage::kCheckSumField), PeChecksum(file, o + PeImage::kCheckSumField));
    const PeDirectory res = out.pe.Directory(PeImage::kResourceDirectory);
    const PeSection& holder = out.pe.sections[static_cast<size_t>(out.pe.SectionOf(res.address))];
    EXPECT_EQ(holder.virtualAddress, res.address);
    EXPECT_EQ(holder.virtualSize, res.size);
}

TEST(ResourceTree, ReadsBackWhatItBuildsInLoaderOrder) {
    const ResourceTree tree = StubTree();
    Parsed p(ImageWith(tree).Build());
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(Describe(p.tree), Describe(tree));
    // Root table: 3 named types ("ABC" < "EXE_DATA" < "ZED"), then ids 3, 5, 6.
    uint32_t at = 0;
    ASSERT_TRUE(p.pe.FileOffset(0x2000, 16 + 6 * 8, &at));
    const std::vector<uint8_t> root(p.file.begin() + at, p.file.end());
    EXPECT_EQ(GetU16(root, 12), 3);
    EXPECT_EQ(GetU16(root, 14), 3);
    const char* names[] = {"ABC", "EXE_DATA", "ZED"};
    for (uint32_t i = 0; i < 3; ++i) {
        const uint32_t field = GetU32(root, 16 + 8 * i);
        ASSERT_NE(field & 0x80000000u, 0u);
        ASSERT_TRUE(p.pe.FileOffset(0x2000 + (field & 0x7FFFFFFF), 2 + 2 * 8, &at));
        const std::vector<uint8_t> s(p.file.begin() + at, p.file.end());
        std::string text;
        for (uint16_t k = 0; k < GetU16(s, 0); ++k) text += static_cast<char>(GetU16(s, 2 + 2 * k));
        EXPECT_EQ(text, names[i]);
    }
    EXPECT_EQ(GetU32(root, 16 + 8 * 3), 3u);
    EXPECT_EQ(GetU32(root, 16 + 8 * 4), 5u);
    EXPECT_EQ(GetU32(root, 16 + 8 * 5), 6u);
}

TEST(ResourceTree, FindPrefersTheNeutralLanguageAndIgnoresCase) {
    ResourceTree t;
    t.leaves.push_back(Leaf(ResourceKey::Name("exe_data"), ResourceKey::Id(1), 0x40C, "french"));
    EXPECT_EQ(Describe(*t.Find(PayloadResourceType(), PayloadResourceName())), "exe_data/1/1036/1252=french");
    t.leaves.push_back(Leaf(ResourceKey::Name("EXE_DATA"), ResourceKey::Id(1), 0, "neutral"));
    EXPECT_EQ(Describe(*t.Find(PayloadResourceType(), PayloadResourceName())), "EXE_DATA/1/0/0=neutral");
    EXPECT_EQ(t.Find(PayloadResourceType(), ResourceKey::Id(2)), nullptr);
    EXPECT_EQ(t.Find(ResourceKey::Id(10), PayloadResourceName()), nullptr);
}

TEST(ResourceTree, ReplaceLeavesOneLeafInTheFoundLanguage) {
    ResourceTree t;
    t.leaves.push_back(Leaf(ResourceKey::Name("exe_data"), ResourceKey::Id(1), 0x40C, "french"));
    t.leaves.push_back(Leaf(ResourceKey::Name("EXE_DATA"), ResourceKey::Id(1), 0x409, "english"));
    t.leaves.push_back(Leaf(ResourceKey::Name("EXE_DATA"), ResourceKey::Id(2), 0, "other"));
    t.Replace(PayloadResourceType(), PayloadResourceName(), Bytes{'n', 'e', 'w'});
    EXPECT_EQ(Describe(t), (std::vector<std::string>{"EXE_DATA/2/0/0=other", "exe_data/1/1036/0=new"}));
    ResourceTree empty;
    empty.Replace(PayloadResourceType(), PayloadResourceName(), Bytes{'x'});
    EXPECT_EQ(Describe(empty), std::vector<std::string>{"EXE_DATA/1/0/0=x"});
}

// Directories that are not a three-level tree inside the image are refused.
TEST(ResourceTree, MalformedDirectoriesAreRefused) {
    struct Damage {
        const char* what;
        uint32_t at;  // offset in the resource section
        uint32_t value;
    };
    ResourceTree one;
    one.leaves.push_back(Leaf(ResourceKey::Id(10), ResourceKey::Id(1), 0, "data"));
    // Layout: root (16+8), type table (16+8), name table (16+8), data entry.
    const Damage damages[] = {
        {"a loop back to the root", 0x18 + 16 + 4, 0x80000000u},
        {"a table outside the section", 16 + 4, 0x80000000u | 0x7000},
        {"a leaf one level early", 0x18 + 16 + 4, 0x48},
        {"a language given by name", 0x30 + 16, 0x80000000u | 0x10},
        {"a name string outside the section", 16, 0x80000000u | 0xFFF0},
        {"data outside the image", 0x48, 0x9000},
        {"data beyond the section's data in the file", 0x48, 0x2000 + 0x1FE},
        {"data running past its section", 0x48 + 4, 0x2000},
        {"too many entries for the section", 12, 0xFFFF},
    };
    for (const Damage& d : damages) {
        testpe::Image image = ImageWith(one);
        PutU32(&image.sections[1].data, d.at, d.value);
        Parsed p(image.Build());
        EXPECT_FALSE(p.ok) << d.what;
        EXPECT_FALSE(p.error.empty()) << d.what;
    }
    // Undamaged, the same tree reads.
    EXPECT_TRUE(Parsed(ImageWith(one).Build()).ok);
}

TEST(PeImage, RefusesWhatIsNotAUsablePe) {
    std::string error;
    PeImage pe;
    Bytes text(100, 'x');
    EXPECT_FALSE(pe.Parse(&text, &error));
    Bytes good = ImageWith(StubTree()).Build();
    EXPECT_TRUE(pe.Parse(&good, &error)) << error;
    Bytes truncated(good.begin(), good.end() - 1);
    EXPECT_FALSE(pe.Parse(&truncated, &error));  // the last section's data is cut
    Bytes magic = good;
    PutU16(&magic, 0x80 + 24, 0x107);
    EXPECT_FALSE(pe.Parse(&magic, &error));
    Bytes alignment = good;
    PutU32(&alignment, 0x80 + 24 + 36, 0x300);
    EXPECT_FALSE(pe.Parse(&alignment, &error));
    // Sections out of order, data in the headers, data of two sections
    // overlapping: a rebuild would carry one along with the other.
    const uint32_t table = 0x80 + 24 + 240;
    Bytes order = good;
    PutU32(&order, table + 12, 0x3000);
    EXPECT_FALSE(pe.Parse(&order, &error));
    EXPECT_EQ(error, "sections overlap or are out of order");
    Bytes headers = good;
    PutU32(&headers, table + 20, 0x200);
    EXPECT_FALSE(pe.Parse(&headers, &error));
    EXPECT_EQ(error, "a section's data lies in the headers");
    Bytes overlap = good;
    PutU32(&overlap, table + 40 + 20, GetU32(good, table + 20) + 0x200);
    EXPECT_FALSE(pe.Parse(&overlap, &error));
    EXPECT_EQ(error, "the data of two sections overlap");
}

TEST(PeChecksum, OnesComplementSumOfWordsPlusLength) {
    // Words 1 + 2 + 3, plus 6 bytes; the field (offset 2) counts as zero.
    EXPECT_EQ(PeChecksum(Bytes{1, 0, 2, 0, 3, 0}, 100), 6u + 6u);
    EXPECT_EQ(PeChecksum(Bytes{1, 0, 2, 0, 3, 0, 4, 0}, 2), 1u + 4u + 8u);
    // Carries fold back in: 0xFFFF + 0xFFFF = 0xFFFF after folding.
    EXPECT_EQ(PeChecksum(Bytes{0xFF, 0xFF, 0xFF, 0xFF}, 100), 0xFFFFu + 4u);
    // An odd last byte is a word of its own.
    EXPECT_EQ(PeChecksum(Bytes{1, 0, 7}, 100), 8u + 3u);
}

#ifdef _WIN32
// The system's own computation (imagehlp) is the reference.
TEST(PeChecksum, AgreesWithImagehlp) {
    for (size_t extra : {0, 1, 2, 3}) {
        Bytes file = ImageWith(StubTree()).Build();
        for (size_t i = 0; i < extra; ++i) file.push_back(static_cast<uint8_t>(0xF0 + i));
        for (size_t i = 0x400; i < file.size(); i += 7) file[i] = static_cast<uint8_t>(i * 13);
        PeImage pe;
        std::string error;
        ASSERT_TRUE(pe.Parse(&file, &error)) << error;
        DWORD header = 0, sum = 0;
        ASSERT_NE(CheckSumMappedFile(file.data(), static_cast<DWORD>(file.size()), &header, &sum),
                  nullptr);
        EXPECT_EQ(PeChecksum(file, pe.optionalOffset + PeImage::kCheckSumField), sum) << extra;
    }
}
#endif

TEST(PeRebuild, LastResourceSectionIsRebuiltInPlace) {
    for (bool plus : {true, false}) {
        testpe::Image image = ImageWith(StubTree());
        image.plus = plus;
        const Bytes before = image.Build();
        const Bytes payload(10000, 0xAB);
        std::string error;
        PeRebuild r = Rebuild(before, payload, &error);
        ASSERT_FALSE(r.file.empty()) << error;
        EXPECT_EQ(r.placement, PeRebuild::kInPlace);
        EXPECT_FALSE(r.signatureDropped);
        ExpectSound(r.file, payload);
        // The sections before it stay where they were, byte for byte.
        EXPECT_TRUE(std::equal(before.begin() + 0x400, before.begin() + 0x700, r.file.begin() + 0x400));
        // Smaller again: the section shrinks back.
        PeRebuild back = Rebuild(r.file, Bytes{'x'}, &error);
        ASSERT_FALSE(back.file.empty()) << error;
        EXPECT_LT(back.file.size(), r.file.size());
        ExpectSound(back.file, Bytes{'x'});
    }
}

TEST(PeRebuild, DiscardableSectionsBehindMoveAlong) {
    testpe::Image image = ImageWith(StubTree());
    Bytes relocations(0x40);
    for (size_t i = 0; i < relocations.size(); ++i) relocations[i] = static_cast<uint8_t>(i);
    image.sections.push_back({".reloc", 0x3000, 0, relocations, testpe::kDiscardableData});
    image.sections.push_back({".debug", 0x4000, 0, Bytes(0x10, 0xDB), testpe::kDiscardableData});
    image.directories[PeImage::kRelocationDirectory] = {0x3008, 0x20};
    image.overlay = Bytes{'S', 'Y', 'M', 'S'};
    image.symbolsInOverlay = true;
    const Bytes payload(0x5000, 0x11);
    std::string error;
    PeRebuild r = Rebuild(image.Build(), payload, &error);
    ASSERT_FALSE(r.file.empty()) << error;
    EXPECT_EQ(r.placement, PeRebuild::kInPlace);
    ExpectSound(r.file, payload);
    Parsed out(r.file);
    ASSERT_EQ(out.pe.sections.size(), 4u);
    const PeSection& reloc = out.pe.sections[2];
    const PeSection& rsrc = out.pe.sections[1];
    EXPECT_EQ(reloc.virtualAddress, (rsrc.virtualAddress + rsrc.virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(out.pe.sections[3].virtualAddress, reloc.virtualAddress + 0x1000);
    EXPECT_EQ(out.pe.Directory(PeImage::kRelocationDirectory).address, reloc.virtualAddress + 8);
    EXPECT_TRUE(std::equal(relocations.begin(), relocations.end(), r.file.begin() + reloc.rawPointer));
    const uint32_t symbols = GetU32(r.file, out.pe.coffOffset + 8);
    ASSERT_LE(symbols + 4u, r.file.size());
    EXPECT_EQ(std::string(r.file.begin() + symbols, r.file.begin() + symbols + 4), "SYMS");
}

TEST(PeRebuild, SectionsThatCannotMoveGetANewSectionOrAFit) {
    testpe::Image image = ImageWith(StubTree());
    image.sections.push_back({".extra", 0x3000, 0, Bytes(0x20, 0xEE), testpe::kReadOnlyData});
    const Bytes before = image.Build();
    const Bytes big(0x3000, 0x22);
    std::string error;
    PeRebuild r = Rebuild(before, big, &error);
    ASSERT_FALSE(r.file.empty()) << error;
    EXPECT_EQ(r.placement, PeRebuild::kNewSection);
    ExpectSound(r.file, big);
    Parsed out(r.file);
    ASSERT_EQ(out.pe.sections.size(), 4u);
    EXPECT_EQ(out.pe.sections[3].name, ".rsrc");
    EXPECT_EQ(out.pe.sections[3].virtualAddress, 0x4000u);
    // Everything that was there stays byte for byte.
    EXPECT_TRUE(std::equal(before.begin() + 0x400, before.end(), r.file.begin() + 0x400));
    // A tree that fits the old room goes there; nothing moves.
    PeRebuild fit = Rebuild(before, Bytes{'s', 'm', 'a', 'l', 'l'}, &error);
    ASSERT_FALSE(fit.file.empty()) << error;
    EXPECT_EQ(fit.placement, PeRebuild::kInPlace);
    EXPECT_EQ(fit.file.size(), before.size());
    ExpectSound(fit.file, Bytes{'s', 'm', 'a', 'l', 'l'});
}

TEST(PeRebuild, ImageWithoutResourcesGetsASection) {
    testpe::Image image;
    image.sections.push_back({".text", 0x1000, 0, Bytes(0x300, 0xCC), kCode});
    const Bytes payload{'p', 'a', 'y'};
    std::string error;
    Parsed in(image.Build());
    ASSERT_TRUE(in.ok) << in.error;
    EXPECT_TRUE(in.tree.leaves.empty());
    in.tree.Replace(PayloadResourceType(), PayloadResourceName(), payload);
    PeRebuild r;
    ASSERT_TRUE(RebuildWithResources(in.pe, in.tree, &r, &error)) << error;
    EXPECT_EQ(r.placement, PeRebuild::kNewSection);
    Parsed out(r.file);
    ASSERT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.tree.Find(PayloadResourceType(), PayloadResourceName())->data, payload);
}

TEST(PeRebuild, NoRoomForASectionHeaderIsAnError) {
    testpe::Image image = ImageWith(StubTree());
    image.sections.push_back({".extra", 0x3000, 0, Bytes(0x20, 0xEE), testpe::kReadOnlyData});
    // Headers end right behind the third section header.
    image.headerSize = 0x80 + 24 + 240 + 3 * 40;
    image.fileAlignment = 0x8;
    std::string error;
    PeRebuild r = Rebuild(image.Build(), Bytes(0x3000, 1), &error);
    EXPECT_TRUE(r.file.empty());
    EXPECT_EQ(error, "no room in the headers for another section");
}

TEST(PeRebuild, SignatureIsDroppedOnlyFromTheEnd) {
    testpe::Image image = ImageWith(StubTree());
    image.overlay = Bytes(0x100, 0x5E);
    const uint32_t certAt = static_cast<uint32_t>(image.Build().size()) - 0x100;
    image.directories[PeImage::kSecurityDirectory] = {certAt, 0x100};
    std::string error;
    PeRebuild r = Rebuild(image.Build(), Bytes{'p'}, &error);
    ASSERT_FALSE(r.file.empty()) << error;
    EXPECT_TRUE(r.signatureDropped);
    Parsed out(r.file);
    EXPECT_EQ(out.pe.Directory(PeImage::kSecurityDirectory).size, 0u);
    EXPECT_EQ(std::count(r.file.begin(), r.file.end(), 0x5E), 0);
    ExpectSound(r.file, Bytes{'p'});
    // A signature that does not end the file is not cut out of it.
    image.overlay.push_back(0);
    r = Rebuild(image.Build(), Bytes{'p'}, &error);
    EXPECT_TRUE(r.file.empty());
    EXPECT_EQ(error, "the signature does not stand at the end of the file");
}

}  // namespace
