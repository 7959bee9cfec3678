#include "tools/velpack/pe/PeRebuild.h"

#include <algorithm>
#include <cstddef>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeLayout.h"
#include "tools/velpack/pe/ResourceTree.h"

namespace {

// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ, as linkers mark .rsrc.
const uint32_t kResourceCharacteristics = 0x40000040;
const char kResourceSectionName[] = ".rsrc";

uint64_t AlignUp(uint64_t v, uint32_t a) { return (v + a - 1) / a * a; }

uint64_t Extent(const PeSection& s) { return s.virtualSize != 0 ? s.virtualSize : s.rawSize; }
uint64_t RawEnd(const PeSection& s) { return uint64_t{s.rawPointer} + s.rawSize; }

bool Inside(uint32_t rva, const PeSection& s) {
    return rva >= s.virtualAddress && rva - s.virtualAddress < Extent(s);
}

// True when a data directory other than allowed points into s.
bool ReferencedBesides(const PeImage& pe, const PeSection& s, uint32_t allowed) {
    for (uint32_t i = 0; i < pe.directoryCount; ++i) {
        // The certificate table holds a file offset, not an address.
        if (i == allowed || i == PeImage::kSecurityDirectory) continue;
        const PeDirectory d = pe.Directory(i);
        if (d.size != 0 && Inside(d.address, s)) return true;
    }
    return false;
}

enum Plan {
    kMoveFollowers,  // rebuilt in place; the sections behind it move along
    kFitInPlace,     // rebuilt in place within its old room; nothing moves
    kAppend,         // a new section at the end
};

// How the tree of treeSize bytes can go into pe, whose resource section is
// sections[own] (own < 0: none that is ours to rebuild).
Plan ChoosePlan(const PeImage& pe, int own, uint64_t treeSize) {
    if (own < 0) return kAppend;
    const PeSection& s = pe.sections[static_cast<size_t>(own)];
    bool movable = true;
    uint64_t nextVa = UINT64_MAX;
    for (size_t i = 0; i < pe.sections.size(); ++i) {
        const PeSection& t = pe.sections[i];
        if (static_cast<int>(i) == own) continue;
        // Another section sharing the tree's file range: leave both alone.
        if (t.rawSize != 0 && t.rawPointer < RawEnd(s) && RawEnd(t) > s.rawPointer) return kAppend;
        if (t.virtualAddress < s.virtualAddress) continue;
        if (t.virtualAddress < nextVa) nextVa = t.virtualAddress;
        // A section whose addresses move may be known only to the loader,
        // through the relocation directory (.reloc, debug data: discardable
        // sections), and its data must lie behind the tree's.
        if ((t.characteristics & PeImage::kDiscardable) == 0 ||
            ReferencedBesides(pe, t, PeImage::kRelocationDirectory) ||
            (t.rawSize != 0 && t.rawPointer < RawEnd(s))) {
            movable = false;
        }
    }
    if (movable) return kMoveFollowers;
    if (AlignUp(treeSize, pe.fileAlignment) <= s.rawSize &&
        s.virtualAddress + AlignUp(treeSize, pe.sectionAlignment) <= nextVa) {
        return kFitInPlace;
    }
    return kAppend;
}


// Where the tree goes and what moves around it.
struct Layout {
    Plan plan = kAppend;
    int own = -1;            // the resource section rebuilt in place, or -1
    uint64_t treeSize = 0;   // the tree's bytes, unaligned
    uint32_t rva = 0;        // its address
    uint64_t keep = 0;       // the file's bytes up to here stay before the tree
    uint64_t at = 0;         // its file offset, at or behind keep
    uint64_t slot = 0;       // its room in the file
    uint64_t tailStart = 0;  // the bytes from here to bodyEnd follow the tree
    uint64_t bodyEnd = 0;    // the end of the image; a signature behind it is left out
    int64_t vaShift = 0;     // of the sections behind the tree, when they move
    bool signatureDropped = false;
};

// The resource section is ours to rebuild when it holds the resources
// alone, from its first byte, in whole file-alignment units; -1 otherwise.
int OwnResourceSection(const PeImage& pe) {
    const PeDirectory res = pe.Directory(PeImage::kResourceDirectory);
    if (res.address == 0) return -1;
    const int i = pe.SectionOf(res.address);
    if (i < 0) return -1;
    const PeSection& s = pe.sections[static_cast<size_t>(i)];
    const uint32_t fa = pe.fileAlignment;
    if (s.virtualAddress == res.address && s.rawSize != 0 && s.rawPointer % fa == 0 &&
        s.rawSize % fa == 0 && !ReferencedBesides(pe, s, PeImage::kResourceDirectory)) {
        return i;
    }
    return -1;
}

// Chooses where a tree of treeSize bytes goes. false, with error set, when
// the image leaves no way.
bool ChooseLayout(const PeImage& pe, uint64_t treeSize, Layout* l, std::string* error) {
    const std::vector<uint8_t>& f = *pe.file;
    const uint32_t fa = pe.fileAlignment;
    const uint32_t sa = pe.sectionAlignment;
    if (pe.directoryCount <= PeImage::kResourceDirectory) {
        return Fail(error, "the optional header has no resource directory slot");
    }
    uint64_t rawEnd = pe.sizeOfHeaders;  // end of the headers and sections' data
    uint64_t firstRaw = rawEnd;          // where the first section's data begins
    uint64_t vaEnd = pe.sizeOfHeaders;   // the headers are mapped first
    for (const PeSection& s : pe.sections) {
        if (s.rawSize != 0 && RawEnd(s) > rawEnd) rawEnd = RawEnd(s);
        if (s.rawSize != 0 && s.rawPointer < firstRaw) firstRaw = s.rawPointer;
        if (s.virtualAddress + Extent(s) > vaEnd) vaEnd = s.virtualAddress + Extent(s);
    }
    if (rawEnd > f.size()) return Fail(error, "the headers run past the end of the file");

    // An Authenticode signature (its directory holds a file offset) stands
    // behind everything else; it no longer matches and is left out.
    l->bodyEnd = f.size();
    const PeDirectory cert = pe.Directory(PeImage::kSecurityDirectory);
    if (cert.size != 0) {
        if (cert.address < rawEnd || uint64_t{cert.address} + cert.size != f.size()) {
            return Fail(error, "the signature does not stand at the end of the file");
        }
        l->bodyEnd = cert.address;
        l->signatureDropped = true;
    }

    l->own = OwnResourceSection(pe);
    l->treeSize = treeSize;
    l->plan = ChoosePlan(pe, l->own, treeSize);
    const uint64_t treeRaw = AlignUp(treeSize, fa);
    // Where the tree's room may begin, it begins on a page (both are powers
    // of two, so the larger is a multiple of the other): the payload is
    // then mapped from the file as it is read, not copied in at the start.
    const uint32_t start = fa > kPePageSize ? fa : kPePageSize;
    uint64_t rva;
    if (l->plan == kAppend) {
        const uint64_t tableEnd =
            pe.sectionTableOffset + uint64_t{pe.sections.size() + 1} * kPeSectionHeaderSize;
        if (tableEnd > pe.sizeOfHeaders || tableEnd > firstRaw) {
            return Fail(error, "no room in the headers for another section");
        }
        rva = AlignUp(vaEnd, sa);
        l->keep = rawEnd;
        l->at = AlignUp(rawEnd, start);
        l->slot = treeRaw;
        l->tailStart = rawEnd;
    } else {
        const PeSection& s = pe.sections[static_cast<size_t>(l->own)];
        rva = s.virtualAddress;
        l->keep = s.rawPointer;
        // A tree that fits the old room stays in it: what follows cannot move.
        l->at = l->plan == kFitInPlace ? s.rawPointer : AlignUp(s.rawPointer, start);
        l->slot = l->plan == kFitInPlace ? s.rawSize : treeRaw;
        l->tailStart = RawEnd(s);
        if (l->plan == kMoveFollowers) {
            // The sections behind keep their distances, from the first
            // aligned address behind the new tree.
            uint64_t oldNext = UINT64_MAX;
            for (const PeSection& t : pe.sections) {
                if (t.virtualAddress > s.virtualAddress && t.virtualAddress < oldNext) {
                    oldNext = t.virtualAddress;
                }
            }
            if (oldNext != UINT64_MAX) {
                l->vaShift = static_cast<int64_t>(AlignUp(rva + treeSize, sa)) -
                             static_cast<int64_t>(oldNext);
                vaEnd = static_cast<uint64_t>(static_cast<int64_t>(vaEnd) + l->vaShift);
            }
        }
    }
    // Addresses are checked before they are cut to 32 bits: behind a
    // section that ends near 4 GiB, the next aligned address is past it.
    const uint64_t newEnd = l->at + l->slot + (l->bodyEnd - l->tailStart);
    const uint64_t treeEnd = rva + AlignUp(treeSize, sa);
    if (newEnd > INT32_MAX || treeEnd > UINT32_MAX || AlignUp(vaEnd, sa) > UINT32_MAX) {
        return Fail(error, "the image would grow past its 32-bit limits");
    }
    l->rva = static_cast<uint32_t>(rva);
    return true;
}

// The file with the built tree in its place: the bytes before it, zeros up
// to its start, the tree in its slot, then what stood behind the old tree
// (or the old end) up to the end of the image.
std::vector<uint8_t> LayOut(const std::vector<uint8_t>& f, const Layout& l,
                            const std::vector<uint8_t>& built) {
    std::vector<uint8_t> out(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(l.keep));
    out.resize(static_cast<size_t>(l.at), 0);
    out.insert(out.end(), built.begin(), built.end());
    out.resize(static_cast<size_t>(l.at + l.slot), 0);
    out.insert(out.end(), f.begin() + static_cast<std::ptrdiff_t>(l.tailStart),
               f.begin() + static_cast<std::ptrdiff_t>(l.bodyEnd));
    return out;
}

// The section entries after the layout: what moved in the file, the
// resource section's new sizes (or a new one), and, when the sections
// behind it moved, their addresses. Writes the moved relocation directory
// and symbol table offset into out. Answers the change of the initialized
// data size.
int64_t MoveSections(const PeImage& pe, const Layout& l, std::vector<PeSection>* sections,
                     std::vector<uint8_t>* out) {
    // Everything that stood behind the old tree (or the old end) moves by
    // the same amount in the file: section data, the COFF symbol table.
    const int64_t rawShift = static_cast<int64_t>(l.at + l.slot) - static_cast<int64_t>(l.tailStart);
    for (PeSection& t : *sections) {
        if (t.rawSize != 0 && t.rawPointer >= l.tailStart) {
            t.rawPointer = static_cast<uint32_t>(t.rawPointer + rawShift);
        }
    }
    const uint32_t symbols = GetU32(*out, pe.coffOffset + kPeSymbolTableField);
    if (symbols != 0 && symbols >= l.tailStart) {
        PutU32(out, pe.coffOffset + kPeSymbolTableField, static_cast<uint32_t>(symbols + rawShift));
    }

    if (l.plan == kAppend) {
        // The new header goes where the table ends, in the header room that
        // the layout found unused.
        PeSection added;
        added.name = kResourceSectionName;
        added.virtualSize = static_cast<uint32_t>(l.treeSize);
        added.virtualAddress = l.rva;
        added.rawSize = static_cast<uint32_t>(l.slot);
        added.rawPointer = static_cast<uint32_t>(l.at);
        added.characteristics = kResourceCharacteristics;
        added.headerOffset =
            static_cast<uint32_t>(pe.sectionTableOffset + sections->size() * kPeSectionHeaderSize);
        std::fill(out->begin() + added.headerOffset,
                  out->begin() + added.headerOffset + kPeSectionHeaderSize, 0);
        std::copy(kResourceSectionName, kResourceSectionName + sizeof kResourceSectionName - 1,
                  out->begin() + added.headerOffset);
        PutU32(out, added.headerOffset + kPeSectionCharacteristicsField, added.characteristics);
        sections->push_back(added);
        return static_cast<int64_t>(l.slot);
    }
    PeSection& s = (*sections)[static_cast<size_t>(l.own)];
    const int64_t initializedChange = static_cast<int64_t>(l.slot) - static_cast<int64_t>(s.rawSize);
    if (l.plan == kMoveFollowers) {
        // The relocation directory moves with the section that holds it.
        const int64_t vaShift = l.vaShift;
        const PeDirectory reloc = pe.Directory(PeImage::kRelocationDirectory);
        for (PeSection& t : *sections) {
            if (t.virtualAddress <= s.virtualAddress) continue;
            if (reloc.size != 0 && Inside(reloc.address, t)) {
                PutU32(out, pe.directoryOffset + PeImage::kRelocationDirectory * kPeDirectorySize,
                       static_cast<uint32_t>(reloc.address + vaShift));
            }
            t.virtualAddress = static_cast<uint32_t>(t.virtualAddress + vaShift);
        }
    }
    s.virtualSize = static_cast<uint32_t>(l.treeSize);
    s.rawPointer = static_cast<uint32_t>(l.at);
    s.rawSize = static_cast<uint32_t>(l.slot);
    return initializedChange;
}

// Brings the headers up to date: the section table, the section count,
// the image and initialized data sizes, the resource directory, the
// certificate directory when the signature was left out, and the checksum.
void PatchHeaders(const PeImage& pe, const Layout& l, const std::vector<PeSection>& sections,
                  int64_t initializedChange, std::vector<uint8_t>* out) {
    const uint32_t sa = pe.sectionAlignment;
    uint64_t imageEnd = 0;
    for (const PeSection& t : sections) {
        PutU32(out, t.headerOffset + kPeSectionVirtualSizeField, t.virtualSize);
        PutU32(out, t.headerOffset + kPeSectionAddressField, t.virtualAddress);
        PutU32(out, t.headerOffset + kPeSectionRawSizeField, t.rawSize);
        PutU32(out, t.headerOffset + kPeSectionRawPointerField, t.rawPointer);
        if (t.virtualAddress + Extent(t) > imageEnd) imageEnd = t.virtualAddress + Extent(t);
    }
    PutU16(out, pe.coffOffset + kPeSectionCountField, static_cast<uint16_t>(sections.size()));
    PutU32(out, pe.optionalOffset + kPeSizeOfImageField,
           static_cast<uint32_t>(AlignUp(imageEnd, sa)));
    const uint32_t initialized = GetU32(*out, pe.optionalOffset + kPeInitializedDataField);
    PutU32(out, pe.optionalOffset + kPeInitializedDataField,
           static_cast<uint32_t>(initialized + initializedChange));
    const uint32_t resAt = pe.directoryOffset + PeImage::kResourceDirectory * kPeDirectorySize;
    PutU32(out, resAt, l.rva);
    PutU32(out, resAt + kPeDirectorySizeField, static_cast<uint32_t>(l.treeSize));
    if (l.signatureDropped) {
        const uint32_t certAt = pe.directoryOffset + PeImage::kSecurityDirectory * kPeDirectorySize;
        PutU32(out, certAt, 0);
        PutU32(out, certAt + kPeDirectorySizeField, 0);
    }
    const uint32_t checksumAt = pe.optionalOffset + kPeCheckSumField;
    PutU32(out, checksumAt, PeChecksum(*out, checksumAt));
}

}  // namespace

bool RebuildWithResources(const PeImage& pe, const ResourceTree& tree, PeRebuild* result,
                          std::string* error) {
    // The tree's size does not depend on where it goes.
    Layout layout;
    if (!ChooseLayout(pe, tree.Build(0).size(), &layout, error)) return false;
    std::vector<uint8_t> out = LayOut(*pe.file, layout, tree.Build(layout.rva));
    std::vector<PeSection> sections = pe.sections;
    const int64_t initializedChange = MoveSections(pe, layout, &sections, &out);
    PatchHeaders(pe, layout, sections, initializedChange, &out);
    result->file.swap(out);
    result->placement = layout.plan == kAppend ? PeRebuild::kNewSection : PeRebuild::kInPlace;
    result->signatureDropped = layout.signatureDropped;
    return true;
}
