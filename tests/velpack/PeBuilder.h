// Small PE images for tests, laid out exactly as asked: headers, sections
// with their data one after the other, data directories, bytes behind.
#ifndef VEL_TESTS_VELPACK_PEBUILDER_H
#define VEL_TESTS_VELPACK_PEBUILDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velpack/pe/PeImage.h"

namespace testpe {

using Bytes = std::vector<uint8_t>;

struct Section {
    std::string name;
    uint32_t virtualAddress;
    uint32_t virtualSize;  // 0: the data's size
    Bytes data;            // padded to the file alignment in the file
    uint32_t characteristics;
};

const uint32_t kReadOnlyData = 0x40000040;
const uint32_t kDiscardableData = 0x42000040;

struct Image {
    bool plus = true;
    uint32_t fileAlignment = 0x200;
    uint32_t sectionAlignment = 0x1000;
    uint32_t headerSize = 0x400;
    std::vector<Section> sections;
    PeDirectory directories[16] = {};
    Bytes overlay;              // behind the last section's data
    bool symbolsInOverlay = false;  // the COFF symbol table pointer names the overlay

    Bytes Build() const {
        const uint32_t pe = 0x80;
        const uint32_t optionalSize = plus ? 240 : 224;
        const uint32_t table = pe + 24 + optionalSize;
        Bytes f(headerSize, 0);
        f[0] = 'M';
        f[1] = 'Z';
        PutU32(&f, 0x3C, pe);
        f[pe] = 'P';
        f[pe + 1] = 'E';
        PutU16(&f, pe + 4, plus ? 0x8664 : 0x14C);
        PutU16(&f, pe + 6, static_cast<uint16_t>(sections.size()));
        PutU16(&f, pe + 20, static_cast<uint16_t>(optionalSize));
        PutU16(&f, pe + 22, 0x22);
        const uint32_t o = pe + 24;
        PutU16(&f, o, plus ? 0x20B : 0x10B);
        PutU32(&f, o + 32, sectionAlignment);
        PutU32(&f, o + 36, fileAlignment);
        PutU32(&f, o + 60, headerSize);
        PutU16(&f, o + 68, 3);
        const uint32_t count = plus ? 108 : 92;
        PutU32(&f, o + count, 16);
        for (uint32_t i = 0; i < 16; ++i) {
            PutU32(&f, o + count + 4 + 8 * i, directories[i].address);
            PutU32(&f, o + count + 8 + 8 * i, directories[i].size);
        }
        uint32_t imageEnd = sectionAlignment;
        for (size_t i = 0; i < sections.size(); ++i) {
            const Section& s = sections[i];
            const uint32_t h = table + 40 * static_cast<uint32_t>(i);
            const uint32_t raw = static_cast<uint32_t>(
                (s.data.size() + fileAlignment - 1) / fileAlignment * fileAlignment);
            const uint32_t vsize = s.virtualSize != 0 ? s.virtualSize : static_cast<uint32_t>(s.data.size());
            for (size_t k = 0; k < s.name.size() && k < 8; ++k) f[h + k] = static_cast<uint8_t>(s.name[k]);
            PutU32(&f, h + 8, vsize);
            PutU32(&f, h + 12, s.virtualAddress);
            PutU32(&f, h + 16, raw);
            PutU32(&f, h + 20, raw == 0 ? 0 : static_cast<uint32_t>(f.size()));
            PutU32(&f, h + 36, s.characteristics);
            f.insert(f.end(), s.data.begin(), s.data.end());
            f.resize(f.size() + (raw - s.data.size()), 0);
            const uint32_t end = (s.virtualAddress + vsize + sectionAlignment - 1) / sectionAlignment *
                                 sectionAlignment;
            if (end > imageEnd) imageEnd = end;
        }
        PutU32(&f, o + 56, imageEnd);
        if (symbolsInOverlay) PutU32(&f, pe + 4 + 8, static_cast<uint32_t>(f.size()));
        f.insert(f.end(), overlay.begin(), overlay.end());
        return f;
    }
};

}  // namespace testpe

#endif
