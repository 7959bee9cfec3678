#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <imagehlp.h>
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/velpack/PeBuilder.h"
#include "tools/velpack/payload/PayloadSource.h"
#include "tools/velpack/pe/ApplicationManifest.h"
#include "tools/velpack/pe/IconFile.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeLayout.h"
#include "tools/velpack/pe/PeRebuild.h"
#include "tools/velpack/pe/ResourceTree.h"
#include "tools/velpack/pe/VersionResource.h"

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
// headers in order: image size, checksum, resource directory; unless the
// tree stayed in its old room, its data starts on a page of the file.
void ExpectSound(const Bytes& file, const Bytes& payload, bool onPage = true) {
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
    EXPECT_EQ(GetU32(file, o + kPeSizeOfImageField),
              (end + out.pe.sectionAlignment - 1) / out.pe.sectionAlignment * out.pe.sectionAlignment);
    EXPECT_EQ(GetU32(file, o + kPeCheckSumField), PeChecksum(file, o + kPeCheckSumField));
    const PeDirectory res = out.pe.Directory(PeImage::kResourceDirectory);
    const PeSection& holder = out.pe.sections[static_cast<size_t>(out.pe.SectionOf(res.address))];
    EXPECT_EQ(holder.virtualAddress, res.address);
    EXPECT_EQ(holder.virtualSize, res.size);
    if (onPage) {
        EXPECT_EQ(holder.rawPointer % kPePageSize, 0u);
    }
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
    // The loader's rule, which the rebuild's layout relies on.
    Bytes misaligned = good;
    PutU32(&misaligned, table + 12, 0x1800);
    EXPECT_FALSE(pe.Parse(&misaligned, &error));
    EXPECT_EQ(error, "a section's address is not a multiple of the section alignment");
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
        EXPECT_EQ(PeChecksum(file, pe.optionalOffset + kPeCheckSumField), sum) << extra;
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
    const uint32_t symbols = GetU32(r.file, out.pe.coffOffset + kPeSymbolTableField);
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
    ExpectSound(fit.file, Bytes{'s', 'm', 'a', 'l', 'l'}, false);
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

// --- The resources a maker brands a setup with ------------------------------

// An icon image as icon editors write it: a bitmap (header, palette, image
// rows, mask rows) of side x side pixels, or the head of a PNG.
Bytes IconBitmap(uint32_t side, uint16_t bits) {
    const uint32_t colors = bits <= 8 ? 1u << bits : 0;
    const uint32_t rows = (side * bits + 31) / 32 * 4 + (side + 31) / 32 * 4;
    Bytes b(40 + 4 * colors + side * rows);
    for (size_t i = 40; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + bits);
    PutU32(&b, 0, 40);
    PutU32(&b, 4, side);
    PutU32(&b, 8, 2 * side);
    PutU16(&b, 12, 1);
    PutU16(&b, 14, bits);
    for (uint32_t at = 16; at < 40; at += 4) PutU32(&b, at, 0);
    return b;
}

Bytes PngHead(uint32_t side) {
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int k = 3; k >= 0; --k) b.push_back(static_cast<uint8_t>(side >> (8 * k)));
    for (int k = 3; k >= 0; --k) b.push_back(static_cast<uint8_t>(side >> (8 * k)));
    b.resize(200, 0x3C);
    return b;
}

// Header, directory, then the images in their order.
Bytes IconFileOf(const std::vector<IconImage>& images) {
    Bytes f(6 + 16 * images.size(), 0);
    PutU16(&f, 2, 1);
    PutU16(&f, 4, static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const size_t e = 6 + 16 * i;
        f[e] = images[i].width;
        f[e + 1] = images[i].height;
        f[e + 2] = images[i].colorCount;
        PutU16(&f, e + 4, images[i].planes);
        PutU16(&f, e + 6, images[i].bitCount);
        PutU32(&f, e + 8, static_cast<uint32_t>(images[i].data.size()));
        PutU32(&f, e + 12, static_cast<uint32_t>(f.size()));
        f.insert(f.end(), images[i].data.begin(), images[i].data.end());
    }
    return f;
}

IconImage Image(uint8_t side, uint16_t bits, const Bytes& data) {
    IconImage i;
    i.width = i.height = side;
    i.colorCount = bits < 8 ? static_cast<uint8_t>(1u << bits) : 0;
    i.planes = 1;
    i.bitCount = bits;
    i.data = data;
    return i;
}

// A 256x256 PNG, then bitmaps of 48 (32 bits), 32 (8 bits), 16 (4 bits)
// and 16 pixels (1 bit).
std::vector<IconImage> MakersImages() {
    return {Image(0, 32, PngHead(256)), Image(48, 32, IconBitmap(48, 32)), Image(32, 8, IconBitmap(32, 8)),
            Image(16, 4, IconBitmap(16, 4)), Image(16, 1, IconBitmap(16, 1))};
}

TEST(IconFile, ReadsEveryImageOfAMakersIcon) {
    const std::vector<IconImage> images = MakersImages();
    IconFile icon;
    std::string error;
    ASSERT_TRUE(icon.Parse(IconFileOf(images), &error)) << error;
    ASSERT_EQ(icon.images.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(icon.images[i].data, images[i].data) << i;
        EXPECT_EQ(icon.images[i].width, images[i].width) << i;
        EXPECT_EQ(icon.images[i].bitCount, images[i].bitCount) << i;
        EXPECT_EQ(icon.images[i].colorCount, images[i].colorCount) << i;
    }
}

TEST(IconFile, RefusesWhatIsNotASoundIcon) {
    const Bytes good = IconFileOf(MakersImages());
    // Images start at 86: the PNG (200 bytes), then the 48x48 bitmap.
    const size_t png = 86;
    const size_t bmp48 = png + 200;
    const size_t bmp32 = bmp48 + IconBitmap(48, 32).size();
    const size_t bmp16 = bmp32 + IconBitmap(32, 8).size();
    auto entry = [](int image) { return static_cast<size_t>(6 + 16 * (image - 1)); };
    struct Damage {
        const char* message;
        std::function<void(Bytes*)> apply;
    };
    const Damage damages[] = {
        {"not an icon file", [](Bytes* f) { f->resize(5); }},
        {"not an icon file", [](Bytes* f) { (*f)[0] = 1; }},
        {"a cursor file, not an icon", [](Bytes* f) { PutU16(f, 2, 2); }},
        {"the icon file holds no image", [](Bytes* f) { PutU16(f, 4, 0); }},
        {"the image directory runs past the end of the file (image count 2000)",
         [](Bytes* f) { PutU16(f, 4, 2000); }},
        {"image 2: no data", [&](Bytes* f) { PutU32(f, entry(2) + 8, 0); }},
        {"image 1: its data starts inside the directory", [&](Bytes* f) { PutU32(f, entry(1) + 12, 80); }},
        {"image 5: its 176 bytes at offset", [](Bytes* f) { f->pop_back(); }},
        {"images 2 and 3 share bytes",
         [&](Bytes* f) { std::copy(f->begin() + entry(2), f->begin() + entry(3), f->begin() + entry(3)); }},
        {"image 1: a PNG without its IHDR header", [&](Bytes* f) { (*f)[png + 12] = 'X'; }},
        {"image 1: the PNG is 255x256, the directory says 256x256",
         [&](Bytes* f) { (*f)[png + 18] = 0, (*f)[png + 19] = 0xFF; }},
        {"image 2: neither a PNG nor a bitmap with a 40-byte BITMAPINFOHEADER",
         [&](Bytes* f) { PutU32(f, bmp48, 12); }},
        {"image 2: the bitmap is 47x48, the directory says 48x48",
         [&](Bytes* f) { PutU32(f, bmp48 + 4, 47); }},
        {"image 2: a bitmap of 48 by 95 pixels is not an icon's image and mask",
         [&](Bytes* f) { PutU32(f, bmp48 + 8, 95); }},
        {"image 3: a bitmap of 2 planes", [&](Bytes* f) { PutU16(f, bmp32 + 12, 2); }},
        {"image 3: a bitmap of 7 bits per pixel", [&](Bytes* f) { PutU16(f, bmp32 + 14, 7); }},
        {"image 3: a compressed bitmap (compression 1)", [&](Bytes* f) { PutU32(f, bmp32 + 16, 1); }},
        {"image 4: a palette of 17 colours at 4 bits per pixel",
         [&](Bytes* f) { PutU32(f, bmp16 + 32, 17); }},
        {"image 2: 9639 bytes, where its header, palette, image and mask take 9640",
         [&](Bytes* f) { PutU32(f, entry(2) + 8, 9639); }},
    };
    for (const Damage& d : damages) {
        Bytes f = good;
        d.apply(&f);
        IconFile icon;
        std::string error;
        EXPECT_FALSE(icon.Parse(f, &error)) << d.message;
        EXPECT_NE(error.find(d.message), std::string::npos) << error;
        EXPECT_TRUE(icon.images.empty()) << d.message;
    }
}

std::string Group(std::initializer_list<uint16_t> ids) {
    Bytes d(6 + 14 * ids.size(), 0);
    PutU16(&d, 2, 1);
    PutU16(&d, 4, static_cast<uint16_t>(ids.size()));
    size_t i = 0;
    for (uint16_t id : ids) PutU16(&d, 6 + 14 * i++ + 12, id);
    return std::string(d.begin(), d.end());
}

TEST(IconFile, InstallsTheGroupUnderFreshIdsAndDropsItsOldImages) {
    const ResourceKey groupType = ResourceKey::Id(IconFile::kGroupType);
    const ResourceKey iconType = ResourceKey::Id(IconFile::kIconType);
    ResourceTree t;
    t.leaves.push_back(Leaf(groupType, ResourceKey::Name("G_ICON"), 0x40C, Group({1, 2})));
    t.leaves.push_back(Leaf(groupType, ResourceKey::Name("OTHER"), 0x40C, Group({2, 4})));
    for (uint16_t id : {1, 2, 4, 6}) t.leaves.push_back(Leaf(iconType, ResourceKey::Id(id), 0x40C, "old"));
    IconFile icon;
    icon.images = {Image(32, 8, Bytes{'a'}), Image(16, 4, Bytes{'b', 'b'}), Image(0, 32, Bytes{'c'})};
    std::string error;
    ASSERT_TRUE(icon.InstallAsGroup(ResourceKey::Name("G_ICON"), &t, &error)) << error;
    // Image 1 was G_ICON's alone; 2 is OTHER's too; 4 and 6 are not G_ICON's.
    std::vector<std::string> expected = {"14/OTHER/1036/1252=" + Group({2, 4}),
                                         "3/1/1036/0=a",
                                         "3/2/1036/1252=old",
                                         "3/3/1036/0=bb",
                                         "3/4/1036/1252=old",
                                         "3/5/1036/0=c",
                                         "3/6/1036/1252=old"};
    const ResourceLeaf* group = t.Find(groupType, ResourceKey::Name("G_ICON"));
    ASSERT_NE(group, nullptr);
    expected.push_back(Describe(*group));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Describe(t), expected);
    EXPECT_EQ(group->language, 0x40C);
    // The group directory: the image's fields, its size and its new id.
    ASSERT_EQ(group->data.size(), 6u + 3 * 14);
    EXPECT_EQ(GetU16(group->data, 2), 1);
    EXPECT_EQ(GetU16(group->data, 4), 3);
    const uint16_t ids[] = {1, 3, 5};
    for (size_t i = 0; i < 3; ++i) {
        const size_t e = 6 + 14 * i;
        EXPECT_EQ(group->data[e], icon.images[i].width);
        EXPECT_EQ(group->data[e + 2], icon.images[i].colorCount);
        EXPECT_EQ(GetU16(group->data, e + 6), icon.images[i].bitCount);
        EXPECT_EQ(GetU32(group->data, e + 8), icon.images[i].data.size());
        EXPECT_EQ(GetU16(group->data, e + 12), ids[i]);
    }
    // A stub without the group gets it, language-neutral.
    ResourceTree bare;
    ASSERT_TRUE(icon.InstallAsGroup(ResourceKey::Name("G_ICON"), &bare, &error));
    EXPECT_EQ(bare.leaves.size(), 4u);
    EXPECT_EQ(bare.Find(groupType, ResourceKey::Name("G_ICON"))->language, 0);
}

// One block of version information, read the way VerQueryValue walks them:
// each block's length bounds its key, value and children, each child on a
// 4-byte boundary.
struct VersionBlock {
    std::string key;
    uint16_t type = 0;
    Bytes value;
    std::vector<VersionBlock> children;
};

bool ReadBlock(const Bytes& b, size_t at, size_t end, VersionBlock* block) {
    auto align = [](size_t v) { return (v + 3) / 4 * 4; };
    if (at + 6 > end) return false;
    const size_t blockEnd = at + GetU16(b, at);
    const uint16_t valueLength = GetU16(b, at + 2);
    block->type = GetU16(b, at + 4);
    if (blockEnd > end || blockEnd < at + 6) return false;
    size_t i = at + 6;
    for (;; i += 2) {
        if (i + 2 > blockEnd) return false;
        if (GetU16(b, i) == 0) break;
        block->key.push_back(static_cast<char>(GetU16(b, i)));
    }
    i = align(i + 2);
    const size_t valueBytes = block->type == 1 ? 2u * valueLength : valueLength;
    if (i + valueBytes > blockEnd) return false;
    block->value.assign(b.begin() + i, b.begin() + i + valueBytes);
    for (i = align(i + valueBytes); i < blockEnd; i = align(i + GetU16(b, i))) {
        block->children.emplace_back();
        if (!ReadBlock(b, i, blockEnd, &block->children.back())) return false;
    }
    return true;
}

// A text value of 8-bit characters, without its terminator.
std::string TextOf(const Bytes& value) {
    std::string s;
    for (size_t i = 0; i + 2 <= value.size(); i += 2) s.push_back(static_cast<char>(GetU16(value, i)));
    EXPECT_TRUE(!s.empty() && s.back() == '\0');
    if (!s.empty()) s.pop_back();
    return s;
}

TEST(VersionResource, BuildsTheBlocksWindowsReads) {
    VersionResource v;
    v.fileVersion = 0x0002000100000007ull;
    v.productVersion = 0x0002000000000000ull;
    v.strings = {{u"CompanyName", u"Velmar \u00e9"}, {u"FileVersion", u"2.1.0.7"}, {u"Comments", u""}};
    Bytes data;
    std::string error;
    ASSERT_TRUE(v.Build(&data, &error)) << error;
    VersionBlock root;
    ASSERT_TRUE(ReadBlock(data, 0, data.size(), &root));
    EXPECT_EQ(GetU16(data, 0), data.size());
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    const uint32_t fixed[] = {0xFEEF04BD, 0x10000, 0x20001, 7, 0x20000, 0, 0x3F, 0, 0x40004, 1, 0, 0, 0};
    for (size_t i = 0; i < 13; ++i) EXPECT_EQ(GetU32(root.value, 4 * i), fixed[i]) << i;
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0].key, "StringFileInfo");
    ASSERT_EQ(root.children[0].children.size(), 1u);
    const VersionBlock& table = root.children[0].children[0];
    EXPECT_EQ(table.key, "040C04E4");
    std::vector<std::string> strings;
    for (const VersionBlock& s : table.children) {
        EXPECT_EQ(s.type, 1);
        strings.push_back(s.key + "=" + TextOf(s.value));
    }
    EXPECT_EQ(strings,
              (std::vector<std::string>{"CompanyName=Velmar \xE9", "FileVersion=2.1.0.7", "Comments="}));
    EXPECT_EQ(root.children[1].key, "VarFileInfo");
    ASSERT_EQ(root.children[1].children.size(), 1u);
    EXPECT_EQ(root.children[1].children[0].key, "Translation");
    EXPECT_EQ(root.children[1].children[0].value, (Bytes{0x0C, 0x04, 0xE4, 0x04}));

    v.strings.push_back({u"Long", std::u16string(40000, u'x')});
    EXPECT_FALSE(v.Build(&data, &error));
    EXPECT_EQ(error, "the version information takes more than 64 KB");
}

TEST(VersionResource, ReplacesEveryVersionResource) {
    ResourceTree t = StubTree();
    t.leaves.push_back(Leaf(ResourceKey::Id(VersionResource::kType), ResourceKey::Id(1), 0x409, "en"));
    t.leaves.push_back(Leaf(ResourceKey::Id(VersionResource::kType), ResourceKey::Id(2), 0, "two"));
    VersionResource::Install(Bytes{'v'}, &t);
    ResourceTree expected = StubTree();
    expected.leaves.push_back(Leaf(ResourceKey::Id(VersionResource::kType), ResourceKey::Id(1), 0x40C, "v"));
    expected.leaves.back().codePage = 0;
    EXPECT_EQ(Describe(t), Describe(expected));
}

TEST(ApplicationManifest, WritesEachLevelAsWellFormedText) {
    for (const std::string& level : ApplicationManifest::Levels()) {
        const Bytes text = ApplicationManifest::ForLevel(level);
        std::string error;
        EXPECT_TRUE(ApplicationManifest::Check(text, &error)) << error;
        const std::string s(text.begin(), text.end());
        EXPECT_NE(s.find("<requestedExecutionLevel level=\"" + level + "\" uiAccess=\"false\"/>"),
                  std::string::npos);
    }
    ResourceTree t;
    t.leaves.push_back(Leaf(ResourceKey::Id(ApplicationManifest::kType), ResourceKey::Id(1), 0x409, "old"));
    t.leaves.push_back(Leaf(ResourceKey::Id(ApplicationManifest::kType), ResourceKey::Id(2), 0, "dll"));
    ApplicationManifest::Install(Bytes{'m'}, &t);
    EXPECT_EQ(Describe(t), (std::vector<std::string>{"24/1/0/0=m", "24/2/0/0=dll"}));
}

TEST(ApplicationManifest, ChecksAMakersManifest) {
    const char* good[] = {
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- x -->\r\n<assembly a='1' b=\"&amp;&#233;&#x41;\">"
        "<x/><![CDATA[<&>]]>caf\xC3\xA9</assembly>\r\n",
        "<asmv1:assembly xmlns:asmv1=\"urn:schemas-microsoft-com:asm.v1\"></asmv1:assembly>",
    };
    std::string error;
    for (const char* text : good) {
        EXPECT_TRUE(ApplicationManifest::Check(Bytes(text, text + strlen(text)), &error))
            << text << ": " << error;
    }
    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {" \r\n", "empty"},
        {"<assembly>\x01</assembly>", "not UTF-8 text"},
        {"<assembly>\xC3(</assembly>", "not UTF-8 text"},
        {"<assembly>\xE0\x80\x80</assembly>", "not UTF-8 text"},
        {"<assembly>\n<a>\n</assembly>", "line 3: <a> closed by </assembly>"},
        {"<assembly>\n<a>", "line 2: <a> is not closed"},
        {"<assembly/>x", "line 1: text outside the root element"},
        {"<assembly/><assembly/>", "a second root element <assembly>"},
        {"</assembly>", "</assembly> closes no element"},
        {"<assembly a=b/>", "the value of a in <assembly> is not quoted"},
        {"<assembly a/>", "the attribute a of <assembly> has no value"},
        {"<assembly a=\"x<\"/>", "the value of a in <assembly> holds a bare <"},
        {"<assembly>&amp </assembly>", "a & that starts no reference"},
        {"<assembly>< x/></assembly>", "a < that starts no tag"},
        {"<assembly\"/>", "a malformed tag <assembly>"},
        {"<!DOCTYPE x><assembly/>", "a declaration"},
        {"<assembly><!-- x", "a comment that does not end"},
        {"<?xml version=\"1.0\"?>", "holds no XML element"},
        {"<root/>", "the root element is <root>, not <assembly>"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ApplicationManifest::Check(Bytes(b.text, b.text + strlen(b.text)), &error)) << b.text;
        EXPECT_NE(error.find(b.message), std::string::npos) << b.text << ": " << error;
    }
}

}  // namespace
