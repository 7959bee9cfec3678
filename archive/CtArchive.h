// The payload archive: a read-only view of the image that the launcher
// carries as its "EXE_DATA" resource, and the entry records inside it.
//
// The layout is in archive/CtFormat.h.
//
// Nothing is ever read outside the image: a record whose lengths do not fit
// inside it (negative, shorter than its header, name and information text,
// or running past the end) counts as missing, and the archive ends there.
#ifndef VEL_ARCHIVE_CTARCHIVE_H
#define VEL_ARCHIVE_CTARCHIVE_H

#include <cstdint>

#include "archive/CtFormat.h"
#include "archive/CtWide.h"

// What is wrong with a record, in the order the checks are made; the first
// that applies is the record's damage.
enum CtDamage : int32_t {
    kCtSound = 0,
    kCtDamageLength = 1,      // the record length is below its header or past the image
    kCtDamageParts = 2,       // name and information text do not fit the record
    kCtDamageCheckword = 3,   // the checkword is wrong
    kCtDamageMethod = 4,      // an unknown method
    kCtDamageUnpacked = 5,    // an unpacked size no block can hold (negative, too large)
    kCtDamageStoredSize = 6,  // a stored content whose length is not the unpacked size
};

class CtEntry {
public:
    // No record: every field 0, nothing fits.
    CtEntry();
    // Decodes the header at record, which has room bytes up to the end of
    // the image; room must be at least 24.
    CtEntry(const uint8_t* record, int32_t room);

    // 1 when the record length is usable: at least its header, and within
    // the room. The checkword needs no more.
    int32_t LengthFits() const;
    // 1 when, besides, name and information text lie inside the record.
    // Every read below answers 0 and delivers nothing unless this holds.
    int32_t Fits() const;

    // Bytes of the stored content: what the record holds behind the
    // information text.
    int32_t ContentLength() const;
    const uint8_t* Content() const;

    // The checkword over the stored name, information text and content; 0
    // when the record length is unusable. It sums the bytes by the
    // processor's fastest path, or by the one a test names: both give the
    // same.
    uint32_t Checkword() const;
    uint32_t Checkword(CtWide::Path path) const;

    // The name (information text) as a zero-terminated text of at most
    // capacity - 1 bytes, decomplemented for odd methods; a longer one is
    // cut. A capacity of 1 gives an empty text; 0 or less writes nothing.
    int32_t ReadName(char* buffer, int32_t capacity) const;
    int32_t ReadInfo(char* buffer, int32_t capacity) const;

    // The record's damage (CtDamage), found without decoding anything:
    // kCtSound for a record the launcher reads whole.
    int32_t Damage() const;

    // The decoded content into buffer, which may receive capacity bytes.
    // Writes nothing, with the buffer untouched, when capacity is below the
    // unpacked size, the unpacked size is negative or leaves no room for
    // the callers' spare bytes, the checkword is wrong, or the method is
    // unknown. Stored contents (methods 0 and 1) are followed by a zero
    // byte: at most capacity + 1 bytes are written, so the buffer must hold
    // capacity + 1. Compressed contents write at most the unpacked size and
    // no terminator; a decoding failure is logged by the decompressor and
    // leaves the buffer untouched. Answers 1 only when the buffer then holds
    // the whole unpacked content, exactly.
    int32_t ReadContent(uint8_t* buffer, int32_t capacity) const;

    const uint8_t* record;
    int32_t room;
    int32_t length;
    uint32_t checkword;
    int32_t method;
    int32_t nameLength;
    int32_t infoLength;
    int32_t unpackedSize;
};

class CtArchive {
public:
    CtArchive(const void* base, int32_t size);

    // Entry index: each wanted part only when its buffer is not null. On
    // the way in *length is the room of content; on the way out it is the
    // unpacked size (null length: neither content nor size). Returns 1 when
    // the entry exists and its checkword is right, else 0; a wrong
    // checkword is logged as "Checkword erreur" on channels 69 and 0.
    int32_t GetEntry(int32_t index, char* name, int32_t nameCapacity, char* info,
                     int32_t infoCapacity, uint8_t* content, int32_t* length) const;

    // The sound record of entry index, walked to from the first, for a
    // reader that takes its content itself (the extraction streams it): 0
    // when the walk ends before it. The checkword is not looked at.
    int32_t EntryAt(int32_t index, CtEntry* entry) const;

    // Checks every record from the first to the end without decoding
    // anything: answers the damage (CtDamage) of the first damaged record,
    // its index in *index (when index is not null), or kCtSound when there
    // is none. A download cut
    // short or damaged anywhere shows here, before anything is written.
    int32_t FirstDamage(int32_t* index) const;

    // For tools that walk the records themselves, past damaged ones.
    enum RecordState : int32_t {
        kRecordEnd = 0,       // no record here: the archive ends
        kRecordSound = 1,     // the record and its parts lie in the image
        kRecordBadParts = 2,  // name and info do not fit; the next record is findable
        kRecordBadLength = 3, // the record length itself is unusable: the walk ends
    };

    // Offset of the first record; -1 for an image too small to hold the
    // offset or a negative one.
    int32_t FirstRecord() const;

    // The record at offset: its state, and in *entry its header whenever
    // one is there (every state but kRecordEnd).
    int32_t RecordAt(int32_t offset, CtEntry* entry) const;

    const uint8_t* base;
    int32_t size;
};

#endif
