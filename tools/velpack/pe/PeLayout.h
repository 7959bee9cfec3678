// The fields of a PE file that velpack reads or writes, written once: the
// reader, the rebuild, the signature reader and the tests take every offset
// from here, each from the start of its structure (the names in brackets
// are those of the Windows headers).
#ifndef VEL_VELPACK_PELAYOUT_H
#define VEL_VELPACK_PELAYOUT_H

#include <cstdint>

// DOS header: the file offset of the "PE\0\0" signature [e_lfanew], which
// the COFF header follows.
const uint32_t kPeNewHeaderField = 0x3C;
const uint32_t kPeSignatureSize = 4;

// COFF header [IMAGE_FILE_HEADER].
const uint32_t kPeSectionCountField = 2;    // [NumberOfSections]
const uint32_t kPeSymbolTableField = 8;     // [PointerToSymbolTable], a file offset
const uint32_t kPeOptionalSizeField = 16;   // [SizeOfOptionalHeader]
const uint32_t kPeCoffHeaderSize = 20;

// Optional header [IMAGE_OPTIONAL_HEADER32 / 64]: the fields up to the data
// directories' count are at the same offsets in both, except that count.
const uint16_t kPe32Magic = 0x10B;
const uint16_t kPe32PlusMagic = 0x20B;
const uint32_t kPeMagicField = 0;
const uint32_t kPeInitializedDataField = 8;     // [SizeOfInitializedData]
const uint32_t kPeSectionAlignmentField = 32;
const uint32_t kPeFileAlignmentField = 36;  // a power of two, 64 KB at most
const uint32_t kPeSizeOfImageField = 56;
const uint32_t kPeSizeOfHeadersField = 60;
const uint32_t kPeCheckSumField = 64;
const uint32_t kPe32DirectoryCountField = 92;  // [NumberOfRvaAndSizes]
const uint32_t kPe32PlusDirectoryCountField = 108;
const uint32_t kPeDirectoryCountSize = 4;  // the data directories follow the count

// The largest file alignment the PE format allows.
const uint32_t kPeMaxFileAlignment = 0x10000;

// The page of the x86 and x64 loaders. A section whose data starts at a
// multiple of it in the file can be mapped from the file as it is; Wine
// reads any other into fresh memory whole when the program starts, which
// for a setup's resources is the whole payload, before a byte is needed.
const uint32_t kPePageSize = 0x1000;

// A data directory [IMAGE_DATA_DIRECTORY]: an address and a size.
const uint32_t kPeDirectorySizeField = 4;
const uint32_t kPeDirectorySize = 8;

// Section header [IMAGE_SECTION_HEADER].
const uint32_t kPeSectionNameSize = 8;
const uint32_t kPeSectionVirtualSizeField = 8;
const uint32_t kPeSectionAddressField = 12;
const uint32_t kPeSectionRawSizeField = 16;
const uint32_t kPeSectionRawPointerField = 20;
const uint32_t kPeSectionCharacteristicsField = 36;
const uint32_t kPeSectionHeaderSize = 40;

// Resource directory table [IMAGE_RESOURCE_DIRECTORY], its entries behind it
// [IMAGE_RESOURCE_DIRECTORY_ENTRY: name or id, then the target], and a data
// entry [IMAGE_RESOURCE_DATA_ENTRY].
const uint32_t kPeResourceNamedCountField = 12;
const uint32_t kPeResourceIdCountField = 14;
const uint32_t kPeResourceTableSize = 16;
const uint32_t kPeResourceTargetField = 4;
const uint32_t kPeResourceEntrySize = 8;
const uint32_t kPeResourceDataSizeField = 4;
const uint32_t kPeResourceCodePageField = 8;
const uint32_t kPeResourceDataEntrySize = 16;

// An entry of the certificate table [WIN_CERTIFICATE]: its length, then
// the certificate's type, then the certificate itself.
const uint32_t kPeCertificateTypeField = 6;
const uint32_t kPeCertificateHeaderSize = 8;

#endif
