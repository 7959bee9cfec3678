#include "tools/velpack/pe/PeImage.h"

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/pe/PeLayout.h"

namespace {

// The loader refuses more.
const uint32_t kMaxSections = 96;
const uint32_t kMaxDirectories = 16;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Bytes a section covers in memory: its virtual size, or its raw size for
// linkers that leave the former 0.
uint32_t Extent(const PeSection& s) { return s.virtualSize != 0 ? s.virtualSize : s.rawSize; }

}  // namespace

uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t GetU16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

void PutU32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) (*b)[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

void PutU16(std::vector<uint8_t>* b, size_t at, uint16_t v) {
    (*b)[at] = static_cast<uint8_t>(v);
    (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}

bool PeImage::LooksLikePe(const std::vector<uint8_t>& file) {
    return LooksLikePe(file.data(), file.size());
}

bool PeImage::LooksLikePe(const uint8_t* file, size_t size) {
    if (size < 64 || file[0] != 'M' || file[1] != 'Z') return false;
    const uint8_t* const p = file + kPeNewHeaderField;
    const uint32_t pe = static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                              static_cast<uint32_t>(p[3]) << 24);
    return pe <= size - 4 && file[pe] == 'P' && file[pe + 1] == 'E' && file[pe + 2] == 0 &&
           file[pe + 3] == 0;
}

bool PeImage::Parse(const std::vector<uint8_t>* bytes, std::string* error) {
    file = bytes;
    const std::vector<uint8_t>& f = *bytes;
    const uint64_t size = f.size();
    if (!LooksLikePe(f)) return Fail(error, "not a PE executable");
    coffOffset = GetU32(f, kPeNewHeaderField) + kPeSignatureSize;
    if (coffOffset + uint64_t{kPeCoffHeaderSize} > size) return Fail(error, "truncated PE header");
    const uint32_t sectionCount = GetU16(f, coffOffset + kPeSectionCountField);
    optionalSize = GetU16(f, coffOffset + kPeOptionalSizeField);
    optionalOffset = coffOffset + kPeCoffHeaderSize;
    if (optionalOffset + uint64_t{optionalSize} > size || optionalSize < 2) {
        return Fail(error, "truncated optional header");
    }
    const uint16_t magic = GetU16(f, optionalOffset + kPeMagicField);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        return Fail(error, "unknown optional header (neither PE32 nor PE32+)");
    }
    plus = magic == kPe32PlusMagic;
    const uint32_t countField = plus ? kPe32PlusDirectoryCountField : kPe32DirectoryCountField;
    if (optionalSize < countField + kPeDirectoryCountSize) return Fail(error, "optional header too short");
    directoryOffset = optionalOffset + countField + kPeDirectoryCountSize;
    const uint32_t declared = GetU32(f, optionalOffset + countField);
    directoryCount = declared < kMaxDirectories ? declared : kMaxDirectories;
    if (uint64_t{countField} + kPeDirectoryCountSize + uint64_t{directoryCount} * kPeDirectorySize > optionalSize) {
        return Fail(error, "data directories overrun the optional header");
    }
    sectionAlignment = GetU32(f, optionalOffset + kPeSectionAlignmentField);
    fileAlignment = GetU32(f, optionalOffset + kPeFileAlignmentField);
    sizeOfHeaders = GetU32(f, optionalOffset + kPeSizeOfHeadersField);
    if (!IsPowerOfTwo(fileAlignment) || !IsPowerOfTwo(sectionAlignment) ||
        sectionAlignment < fileAlignment) {
        return Fail(error, "unusable section or file alignment");
    }
    // A rebuild pads section data to the file alignment: a crafted one of
    // hundreds of megabytes would make a small stub a file as large.
    if (fileAlignment > kPeMaxFileAlignment) {
        return Fail(error, "a file alignment above 64 KB, which the PE format does not allow");
    }
    if (sectionCount > kMaxSections) return Fail(error, "too many sections");
    sectionTableOffset = optionalOffset + optionalSize;
    if (sectionTableOffset + uint64_t{sectionCount} * kPeSectionHeaderSize > size) {
        return Fail(error, "truncated section table");
    }
    if (sectionTableOffset + uint64_t{sectionCount} * kPeSectionHeaderSize > sizeOfHeaders ||
        sizeOfHeaders > size) {
        return Fail(error, "the headers do not hold the section table");
    }
    sections.clear();
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint32_t h = sectionTableOffset + i * kPeSectionHeaderSize;
        PeSection s;
        size_t n = 0;
        while (n < kPeSectionNameSize && f[h + n] != 0) ++n;
        s.name.assign(reinterpret_cast<const char*>(&f[h]), n);
        s.virtualSize = GetU32(f, h + kPeSectionVirtualSizeField);
        s.virtualAddress = GetU32(f, h + kPeSectionAddressField);
        s.rawSize = GetU32(f, h + kPeSectionRawSizeField);
        s.rawPointer = GetU32(f, h + kPeSectionRawPointerField);
        s.characteristics = GetU32(f, h + kPeSectionCharacteristicsField);
        s.headerOffset = h;
        if (s.rawSize != 0 && uint64_t{s.rawPointer} + s.rawSize > size) {
            return Fail(error, "a section runs past the end of the file");
        }
        if (uint64_t{s.virtualAddress} + Extent(s) > UINT32_MAX) {
            return Fail(error, "a section runs past the 4 GiB address space");
        }
        // The loader maps sections in ascending order, none over another.
        if (!sections.empty() && s.virtualAddress < sections.back().virtualAddress +
                                                        uint64_t{Extent(sections.back())}) {
            return Fail(error, "sections overlap or are out of order");
        }
        if (s.virtualAddress < sizeOfHeaders) return Fail(error, "a section lies over the headers");
        // The loader maps sections at multiples of the alignment and refuses
        // an image that says otherwise; a rebuild lays them out that way.
        if (s.virtualAddress % sectionAlignment != 0) {
            return Fail(error, "a section's address is not a multiple of the section alignment");
        }
        sections.push_back(s);
    }
    // Each byte of the file belongs to the headers or to one section at most:
    // a rebuild moves section data and must not carry other data along.
    for (size_t i = 0; i < sections.size(); ++i) {
        const PeSection& a = sections[i];
        if (a.rawSize == 0) continue;
        if (a.rawPointer < sizeOfHeaders) return Fail(error, "a section's data lies in the headers");
        for (size_t j = i + 1; j < sections.size(); ++j) {
            const PeSection& b = sections[j];
            if (b.rawSize != 0 && a.rawPointer < b.rawPointer + uint64_t{b.rawSize} &&
                b.rawPointer < a.rawPointer + uint64_t{a.rawSize}) {
                return Fail(error, "the data of two sections overlap");
            }
        }
    }
    return true;
}

PeDirectory PeImage::Directory(uint32_t index) const {
    if (index >= directoryCount) return PeDirectory{0, 0};
    const uint32_t at = directoryOffset + index * kPeDirectorySize;
    return PeDirectory{GetU32(*file, at), GetU32(*file, at + kPeDirectorySizeField)};
}

int PeImage::SectionOf(uint32_t rva) const {
    for (size_t i = 0; i < sections.size(); ++i) {
        const PeSection& s = sections[i];
        if (rva >= s.virtualAddress && rva - s.virtualAddress < Extent(s)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool PeImage::FileOffset(uint32_t rva, uint32_t size, uint32_t* offset) const {
    const int i = SectionOf(rva);
    if (i < 0) return false;
    const PeSection& s = sections[static_cast<size_t>(i)];
    const uint32_t at = rva - s.virtualAddress;
    if (at > s.rawSize || size > s.rawSize - at) return false;
    *offset = s.rawPointer + at;
    return true;
}

uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumOffset) {
    auto byte = [&](size_t i) -> uint32_t {
        return i >= checksumOffset && i < checksumOffset + 4 ? 0 : file[i];
    };
    uint64_t sum = 0;
    const size_t n = file.size();
    size_t i = 0;
    for (; i + 1 < n; i += 2) {
        sum += byte(i) | byte(i + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (i < n) {
        sum += byte(i);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + n);
}
