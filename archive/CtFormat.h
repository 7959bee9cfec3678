// The payload format and the launcher's reading of it, written once: the
// launcher, velpack, the tests and (through the preprocessor) the resource
// script take every fact from here.
//
// Image (every integer 32-bit, little-endian, signed):
//   0                   first record offset (velpack writes 4)
//   4 .. offset - 1     not read
//   offset              records back to back, each starting where the
//                       previous one ends, up to the end of the image or a
//                       record whose length is 0
//
// Record:
//   0   record length (header included; the distance to the next record)
//   4   checkword over everything behind the header
//   8   method: bit 0 = name and information text complemented;
//       0/1 content stored (1: complemented), 2/3 content compressed by
//       the stages (archive/CtDecompress.h), 4/5 content one Zstandard
//       frame (RFC 8878) whose decoded size is the unpacked size
//   12  name length      16  info length      20  unpacked size
//   24  name, information text, then the content (the rest of the record)
#ifndef VEL_ARCHIVE_CTFORMAT_H
#define VEL_ARCHIVE_CTFORMAT_H

// The resource the launcher carries its payload in: type "EXE_DATA", id 1.
// Bare tokens, so that the resource script can use them too.
#define CT_PAYLOAD_RESOURCE_TYPE EXE_DATA
#define CT_PAYLOAD_RESOURCE_ID 1

// A bare token as a string: CT_TEXT(CT_PAYLOAD_RESOURCE_TYPE) is "EXE_DATA".
#define CT_TEXT_OF(token) #token
#define CT_TEXT(token) CT_TEXT_OF(token)

#ifndef RC_INVOKED

#include <cstdint>

#include "services/InfoTime.h"  // the time lines: kInfoTimeLowKey, kInfoTimeHighKey

const char kCtPayloadType[] = CT_TEXT(CT_PAYLOAD_RESOURCE_TYPE);
const int32_t kCtPayloadId = CT_PAYLOAD_RESOURCE_ID;

// Image header: the first record offset, and where velpack puts the first
// record (right behind that field).
const int32_t kCtFirstOffsetField = 0;
const int32_t kCtImageHeaderSize = 4;

// Record header.
const int32_t kCtLengthField = 0;
const int32_t kCtCheckwordField = 4;
const int32_t kCtMethodField = 8;
const int32_t kCtNameLengthField = 12;
const int32_t kCtInfoLengthField = 16;
const int32_t kCtUnpackedField = 20;
const int32_t kCtRecordHeaderSize = 24;

// Method bits.
const int32_t kCtMethodComplemented = 1;  // name, information text (and a stored content)
const int32_t kCtMethodCompressed = 2;    // content compressed by the stages
const int32_t kCtMethodZstd = 4;          // content one Zstandard frame
const int32_t kCtMethodLast = 5;          // higher methods are unknown

// How a method's content is stored: the method without bit 0.
enum CtContentKind : int32_t {
    kCtContentStored = 0,                     // methods 0 and 1
    kCtContentStages = kCtMethodCompressed,   // methods 2 and 3
    kCtContentZstd = kCtMethodZstd,           // methods 4 and 5
};
inline int32_t CtContentOf(int32_t method) { return method & ~kCtMethodComplemented; }

// The largest window of a Zstandard frame, 8 MiB: velpack writes no larger
// one, and the launcher refuses a frame that asks for more as damage, so
// that its memory for any entry stays within this and a megabyte.
const int32_t kCtZstdWindowLog = 23;

// What the launcher asks for: names in 64 bytes (63 count), information
// texts in 128, the plan's title and program in 128 each.
const int32_t kCtNameCapacity = 64;
const int32_t kCtInfoCapacity = 128;
const int32_t kCtTitleCapacity = 128;

// The block an entry is read into holds this many zero bytes behind its
// content: a stored content's terminator, and the end of a text search.
const int32_t kCtSpareBytes = 10;

// The largest unpacked size that is read: callers add the spare bytes.
const int32_t kCtMaxUnpacked = INT32_MAX - kCtSpareBytes;

// The launcher's marks. A program entry opens with the prefix (case
// significant) and holds ".exe"; a description entry holds ".ist"; the
// title is its "Install=" value. The marks and the key are found in any
// case.
const char kCtProgramPrefix[] = "AutoInst_";
const char kCtProgramMark[] = ".exe";
const char kCtDescriptionMark[] = ".ist";
const char kCtTitleKey[] = "Install=";
// The program the launcher starts last, and its folder under %TEMP%.
const char kCtInstaller[] = "install.exe";
const char kCtFolderName[] = "tmp_vel";

#endif  // RC_INVOKED

#endif
