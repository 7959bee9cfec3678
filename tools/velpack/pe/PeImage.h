// The headers and sections of a PE executable (PE32 or PE32+), read from the
// file's bytes and checked so that every later access stays inside them.
#ifndef VEL_VELPACK_PEIMAGE_H
#define VEL_VELPACK_PEIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

struct PeSection {
    std::string name;  // the 8-byte field, up to its first zero
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawPointer;
    uint32_t characteristics;
    uint32_t headerOffset;  // of its 40-byte header in the file
};

struct PeDirectory {
    uint32_t address;  // an RVA; a file offset for the certificate table
    uint32_t size;
};

class PeImage {
public:
    // Data directory slots this tool handles.
    enum : uint32_t {
        kResourceDirectory = 2,
        kSecurityDirectory = 4,
        kRelocationDirectory = 5,
    };
    static const uint32_t kDiscardable = 0x02000000;  // IMAGE_SCN_MEM_DISCARDABLE

    // 1 when file starts like a PE executable ("MZ" and a "PE\0\0" header
    // where the DOS header says), whatever else it holds.
    static bool LooksLikePe(const std::vector<uint8_t>& file);
    static bool LooksLikePe(const uint8_t* file, size_t size);

    // Reads the headers of file, which must stay alive and unchanged while
    // this object is used. false, with error set, for anything that is not
    // a well-formed PE image.
    bool Parse(const std::vector<uint8_t>* file, std::string* error);

    PeDirectory Directory(uint32_t index) const;

    // The section that holds rva, or -1.
    int SectionOf(uint32_t rva) const;

    // The file offset of size bytes at rva, when all of them are in the file.
    bool FileOffset(uint32_t rva, uint32_t size, uint32_t* offset) const;

    const std::vector<uint8_t>* file = nullptr;
    bool plus = false;  // PE32+
    uint32_t coffOffset = 0;
    uint32_t optionalOffset = 0;
    uint32_t optionalSize = 0;
    uint32_t sectionTableOffset = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t directoryCount = 0;
    uint32_t directoryOffset = 0;  // of data directory 0 in the file
    std::vector<PeSection> sections;
};

// Little-endian fields of a byte array.
uint32_t GetU32(const std::vector<uint8_t>& b, size_t at);
uint16_t GetU16(const std::vector<uint8_t>& b, size_t at);
void PutU32(std::vector<uint8_t>* b, size_t at, uint32_t v);
void PutU16(std::vector<uint8_t>* b, size_t at, uint16_t v);

// The PE checksum of file, whose checksum field lies at checksumOffset (it
// counts as zero): the 16-bit one's-complement sum of the file's words plus
// its length, as the image loader of drivers and imagehlp compute it.
uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumOffset);

#endif
