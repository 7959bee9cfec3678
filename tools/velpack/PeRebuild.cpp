#include "tools/velpack/PeRebuild.h"

#include <algorithm>
#include <cstddef>

#include "tools/velpack/PeImage.h"
#include "tools/velpack/ResourceTree.h"

namespace {

const uint32_t kSectionHeaderSize = 40;
const uint32_t kSectionCountField = 2;  // in the COFF header
const uint32_t kSymbolTableField = 8;
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

bool Fail(std::string* error, const char* what) {
    *error = what;
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

}  // namespace

bool RebuildWithResources(const PeImage& pe, const ResourceTree& tree, PeRebuild* result,
                          std::string* error) {
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
    uint64_t bodyEnd = f.size();
    const PeDirectory cert = pe.Directory(PeImage::kSecurityDirectory);
    result->signatureDropped = false;
    if (cert.size != 0) {
        if (cert.address < rawEnd || uint64_t{cert.address} + cert.size != f.size()) {
            return Fail(error, "the signature does not stand at the end of the file");
        }
        bodyEnd = cert.address;
        result->signatureDropped = true;
    }

    // The resource section is ours to rebuild when it holds the resources
    // alone, from its first byte, in whole file-alignment units.
    const PeDirectory res = pe.Directory(PeImage::kResourceDirectory);
    int own = -1;
    if (res.address != 0) {
        const int i = pe.SectionOf(res.address);
        if (i >= 0) {
            const PeSection& s = pe.sections[static_cast<size_t>(i)];
            if (s.virtualAddress == res.address && s.rawSize != 0 && s.rawPointer % fa == 0 &&
                s.rawSize % fa == 0 && !ReferencedBesides(pe, s, PeImage::kResourceDirectory)) {
                own = i;
            }
        }
    }

    // The tree's size does not depend on where it goes.
    const uint64_t treeSize = tree.Build(0).size();
    const uint64_t treeRaw = AlignUp(treeSize, fa);
    const Plan plan = ChoosePlan(pe, own, treeSize);

    std::vector<PeSection> sections = pe.sections;
    uint32_t rva;
    uint64_t at;         // file offset of the tree
    uint64_t slot;       // its room in the file
    uint64_t tailStart;  // the bytes from here to bodyEnd follow the tree
    if (plan == kAppend) {
        const uint64_t tableEnd =
            pe.sectionTableOffset + uint64_t{sections.size() + 1} * kSectionHeaderSize;
        if (tableEnd > pe.sizeOfHeaders || tableEnd > firstRaw) {
            return Fail(error, "no room in the headers for another section");
        }
        rva = static_cast<uint32_t>(AlignUp(vaEnd, sa));
        at = AlignUp(rawEnd, fa);
        slot = treeRaw;
        tailStart = rawEnd;
    } else {
        const PeSection& s = sections[static_cast<size_t>(own)];
        rva = s.virtualAddress;
        at = s.rawPointer;
        slot = plan == kFitInPlace ? s.rawSize : treeRaw;
        tailStart = RawEnd(s);
    }
    const uint64_t newEnd = at + slot + (bodyEnd - tailStart);
    if (newEnd > INT32_MAX || uint64_t{rva} + AlignUp(treeSize, sa) > UINT32_MAX) {
        return Fail(error, "the image would grow past its 32-bit limits");
    }

    const std::vector<uint8_t> built = tree.Build(rva);
    std::vector<uint8_t> out(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(tailStart < at ? tailStart : at));
    out.resize(static_cast<size_t>(at), 0);
    out.insert(out.end(), built.begin(), built.end());
    out.resize(static_cast<size_t>(at + slot), 0);
    out.insert(out.end(), f.begin() + static_cast<std::ptrdiff_t>(tailStart),
               f.begin() + static_cast<std::ptrdiff_t>(bodyEnd));

    // Everything that stood behind the old tree (or the old end) moves by
    // the same amount in the file: section data, the COFF symbol table.
    const int64_t rawShift = static_cast<int64_t>(at + slot) - static_cast<int64_t>(tailStart);
    for (PeSection& t : sections) {
        if (t.rawSize != 0 && t.rawPointer >= tailStart) {
            t.rawPointer = static_cast<uint32_t>(t.rawPointer + rawShift);
        }
    }
    const uint32_t symbols = GetU32(out, pe.coffOffset + kSymbolTableField);
    if (symbols != 0 && symbols >= tailStart) {
        PutU32(&out, pe.coffOffset + kSymbolTableField, static_cast<uint32_t>(symbols + rawShift));
    }

    int64_t initializedChange;
    if (plan == kAppend) {
        // The new header goes where the table ends, in the header room that
        // the check above found unused.
        PeSection added;
        added.name = kResourceSectionName;
        added.virtualSize = static_cast<uint32_t>(treeSize);
        added.virtualAddress = rva;
        added.rawSize = static_cast<uint32_t>(slot);
        added.rawPointer = static_cast<uint32_t>(at);
        added.characteristics = kResourceCharacteristics;
        added.headerOffset =
            static_cast<uint32_t>(pe.sectionTableOffset + sections.size() * kSectionHeaderSize);
        std::fill(out.begin() + added.headerOffset,
                  out.begin() + added.headerOffset + kSectionHeaderSize, 0);
        std::copy(kResourceSectionName, kResourceSectionName + sizeof kResourceSectionName - 1,
                  out.begin() + added.headerOffset);
        PutU32(&out, added.headerOffset + 36, added.characteristics);
        sections.push_back(added);
        initializedChange = static_cast<int64_t>(slot);
        result->placement = PeRebuild::kNewSection;
    } else {
        PeSection& s = sections[static_cast<size_t>(own)];
        initializedChange = static_cast<int64_t>(slot) - static_cast<int64_t>(s.rawSize);
        if (plan == kMoveFollowers) {
            // The sections behind keep their distances, from the first
            // aligned address behind the new tree; the relocation directory
            // moves with the section that holds it.
            uint64_t oldNext = UINT64_MAX;
            for (const PeSection& t : sections) {
                if (t.virtualAddress > s.virtualAddress && t.virtualAddress < oldNext) {
                    oldNext = t.virtualAddress;
                }
            }
            const int64_t vaShift =
                oldNext == UINT64_MAX
                    ? 0
                    : static_cast<int64_t>(AlignUp(s.virtualAddress + treeSize, sa)) -
                          static_cast<int64_t>(oldNext);
            const PeDirectory reloc = pe.Directory(PeImage::kRelocationDirectory);
            for (PeSection& t : sections) {
                if (t.virtualAddress <= s.virtualAddress) continue;
                if (reloc.size != 0 && Inside(reloc.address, t)) {
                    PutU32(&out, pe.directoryOffset + PeImage::kRelocationDirectory * 8,
                           static_cast<uint32_t>(reloc.address + vaShift));
                }
                t.virtualAddress = static_cast<uint32_t>(t.virtualAddress + vaShift);
            }
        }
        s.virtualSize = static_cast<uint32_t>(treeSize);
        s.rawSize = static_cast<uint32_t>(slot);
        result->placement = PeRebuild::kInPlace;
    }

    uint64_t imageEnd = 0;
    for (const PeSection& t : sections) {
        PutU32(&out, t.headerOffset + 8, t.virtualSize);
        PutU32(&out, t.headerOffset + 12, t.virtualAddress);
        PutU32(&out, t.headerOffset + 16, t.rawSize);
        PutU32(&out, t.headerOffset + 20, t.rawPointer);
        if (t.virtualAddress + Extent(t) > imageEnd) imageEnd = t.virtualAddress + Extent(t);
    }
    PutU16(&out, pe.coffOffset + kSectionCountField, static_cast<uint16_t>(sections.size()));
    PutU32(&out, pe.optionalOffset + PeImage::kSizeOfImageField,
           static_cast<uint32_t>(AlignUp(imageEnd, sa)));
    const uint32_t initialized = GetU32(out, pe.optionalOffset + PeImage::kInitializedDataField);
    PutU32(&out, pe.optionalOffset + PeImage::kInitializedDataField,
           static_cast<uint32_t>(initialized + initializedChange));
    const uint32_t resAt = pe.directoryOffset + PeImage::kResourceDirectory * 8;
    PutU32(&out, resAt, rva);
    PutU32(&out, resAt + 4, static_cast<uint32_t>(treeSize));
    if (result->signatureDropped) {
        const uint32_t certAt = pe.directoryOffset + PeImage::kSecurityDirectory * 8;
        PutU32(&out, certAt, 0);
        PutU32(&out, certAt + 4, 0);
    }
    const uint32_t checksumAt = pe.optionalOffset + PeImage::kCheckSumField;
    PutU32(&out, checksumAt, PeChecksum(out, checksumAt));
    result->file.swap(out);
    return true;
}
