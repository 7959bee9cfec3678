#include "archive/CtArchive.h"

#include "archive/CtDecompress.h"
#include "archive/CtWide.h"
#include "archive/CtZstdDecoder.h"
#include "services/LogRouting.h"

namespace {

// Little-endian, byte by byte: the image is a resource at any alignment.
uint32_t ReadWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadInt32(const uint8_t* p) { return static_cast<int32_t>(ReadWord(p)); }

// Copies count stored bytes as a terminated text into capacity bytes,
// complementing them for odd methods.
void ReadText(const uint8_t* stored, int32_t count, int32_t method, char* buffer,
              int32_t capacity) {
    if (buffer == nullptr || capacity <= 0) return;
    const int32_t n = count < capacity - 1 ? count : capacity - 1;
    const uint8_t flip = (method & kCtMethodComplemented) != 0 ? 0xFF : 0x00;
    for (int32_t i = 0; i < n; ++i) buffer[i] = static_cast<char>(stored[i] ^ flip);
    buffer[n] = 0;
}

const char kCheckwordError[] = "Checkword erreur";

// The checkword's sum over whole blocks of 16 bytes, in each variant.
CT_FLAT uint32_t WordSum(const uint8_t* data, int32_t blocks) {
    return CtWide::Words::WeightedSum(data, blocks);
}

CT_FLAT CT_VECTOR_CODE uint32_t VectorSum(const uint8_t* data, int32_t blocks) {
    return CtWide::Vectors::WeightedSum(data, blocks);
}

}  // namespace

CtEntry::CtEntry()
    : record(nullptr),
      room(0),
      length(0),
      checkword(0),
      method(0),
      nameLength(0),
      infoLength(0),
      unpackedSize(0) {}

CtEntry::CtEntry(const uint8_t* record, int32_t room)
    : record(record),
      room(room),
      length(ReadInt32(record + kCtLengthField)),
      checkword(ReadWord(record + kCtCheckwordField)),
      method(ReadInt32(record + kCtMethodField)),
      nameLength(ReadInt32(record + kCtNameLengthField)),
      infoLength(ReadInt32(record + kCtInfoLengthField)),
      unpackedSize(ReadInt32(record + kCtUnpackedField)) {}

int32_t CtEntry::LengthFits() const {
    return record != nullptr && length >= kCtRecordHeaderSize && length <= room ? 1 : 0;
}

int32_t CtEntry::Fits() const {
    if (LengthFits() == 0 || nameLength < 0 || infoLength < 0) return 0;
    const int32_t parts = length - kCtRecordHeaderSize;
    return nameLength <= parts && infoLength <= parts - nameLength ? 1 : 0;
}

int32_t CtEntry::ContentLength() const {
    return length - kCtRecordHeaderSize - nameLength - infoLength;
}

const uint8_t* CtEntry::Content() const {
    return record + kCtRecordHeaderSize + nameLength + infoLength;
}

uint32_t CtEntry::Checkword() const {
    return Checkword(CtWide::Fastest());
}

uint32_t CtEntry::Checkword(CtWide::Path path) const {
    if (LengthFits() == 0) return 0;
    // The stored bytes behind the header, weighted 1, 2, ... 16, 1, 2, ...
    // along the data; the checkword and the unpacked size stay out of it.
    const uint8_t* data = record + kCtRecordHeaderSize;
    const int32_t n = length - kCtRecordHeaderSize;
    const int32_t blocks = n / 16;
    uint32_t sum = path == CtWide::kVectors ? VectorSum(data, blocks) : WordSum(data, blocks);
    for (int32_t j = blocks * 16, weight = 1; j < n; ++j, ++weight) {
        sum += static_cast<uint32_t>(weight) * data[j];
    }
    return ~(static_cast<uint32_t>(length) + static_cast<uint32_t>(method) +
             static_cast<uint32_t>(nameLength) + static_cast<uint32_t>(infoLength) + sum);
}

int32_t CtEntry::ReadName(char* buffer, int32_t capacity) const {
    if (Fits() == 0) return 0;
    ReadText(record + kCtRecordHeaderSize, nameLength, method, buffer, capacity);
    return 1;
}

int32_t CtEntry::ReadInfo(char* buffer, int32_t capacity) const {
    if (Fits() == 0) return 0;
    ReadText(record + kCtRecordHeaderSize + nameLength, infoLength, method, buffer, capacity);
    return 1;
}

int32_t CtEntry::Damage() const {
    if (LengthFits() == 0) return kCtDamageLength;
    if (Fits() == 0) return kCtDamageParts;
    if (Checkword() != checkword) return kCtDamageCheckword;
    if (static_cast<uint32_t>(method) > kCtMethodLast) return kCtDamageMethod;
    // The unpacked size is not covered by the checkword: a negative one, or
    // one for which the caller's block of size + spare bytes would not
    // exist, is refused rather than trusted.
    if (unpackedSize < 0 || unpackedSize > kCtMaxUnpacked) return kCtDamageUnpacked;
    if (CtContentOf(method) == kCtContentStored && ContentLength() != unpackedSize) {
        return kCtDamageStoredSize;
    }
    return kCtSound;
}

int32_t CtEntry::ReadContent(uint8_t* buffer, int32_t capacity) const {
    if (buffer == nullptr || Fits() == 0) return 0;
    if (unpackedSize < 0 || unpackedSize > kCtMaxUnpacked) return 0;
    if (capacity < unpackedSize) return 0;
    if (Checkword() != checkword) return 0;
    if (static_cast<uint32_t>(method) > kCtMethodLast) return 0;
    const uint8_t* source = Content();
    const int32_t stored = ContentLength();
    if (CtContentOf(method) == kCtContentStages) {
        return CtDecompress(source, stored, buffer, unpackedSize) == unpackedSize ? 1 : 0;
    }
    if (CtContentOf(method) == kCtContentZstd) {
        return CtZstdDecompress(source, stored, buffer, unpackedSize) == unpackedSize ? 1 : 0;
    }
    // Stored: at most capacity bytes, then the terminator, so the write
    // ends at buffer[capacity] at the latest.
    const int32_t n = stored < capacity ? stored : capacity;
    const uint8_t flip = method == kCtMethodComplemented ? 0xFF : 0x00;
    for (int32_t i = 0; i < n; ++i) buffer[i] = static_cast<uint8_t>(source[i] ^ flip);
    buffer[n] = 0;
    return n == unpackedSize ? 1 : 0;
}

CtArchive::CtArchive(const void* base, int32_t size)
    : base(static_cast<const uint8_t*>(base)), size(base != nullptr && size > 0 ? size : 0) {}

int32_t CtArchive::FirstRecord() const {
    if (size < kCtImageHeaderSize) return -1;
    const int32_t offset = ReadInt32(base + kCtFirstOffsetField);
    return offset < 0 ? -1 : offset;
}

int32_t CtArchive::RecordAt(int32_t offset, CtEntry* entry) const {
    // Only a whole header inside the image is a record.
    if (offset < 0 || size < kCtRecordHeaderSize || offset > size - kCtRecordHeaderSize) {
        return kRecordEnd;
    }
    CtEntry found(base + offset, size - offset);
    if (found.length == 0) return kRecordEnd;
    *entry = found;
    if (found.LengthFits() == 0) return kRecordBadLength;
    return found.Fits() != 0 ? kRecordSound : kRecordBadParts;
}

int32_t CtArchive::FirstDamage(int32_t* index) const {
    CtEntry entry;
    int32_t offset = FirstRecord();
    for (int32_t i = 0;; ++i) {
        // A record of length 0, or none left in the image, ends the archive.
        if (RecordAt(offset, &entry) == kRecordEnd) return kCtSound;
        const int32_t damage = entry.Damage();
        if (damage != kCtSound) {
            if (index != nullptr) *index = i;
            return damage;
        }
        offset += entry.length;
    }
}

int32_t CtArchive::EntryAt(int32_t index, CtEntry* entry) const {
    // Every call walks from the first record: nothing is remembered. Each
    // sound record is at least a header long, so the walk always ends.
    int32_t offset = FirstRecord();
    for (int32_t i = 0;; ++i) {
        if (RecordAt(offset, entry) != kRecordSound) return 0;
        if (i == index) return 1;
        offset += entry->length;
    }
}

int32_t CtArchive::GetEntry(int32_t index, char* name, int32_t nameCapacity, char* info,
                            int32_t infoCapacity, uint8_t* content, int32_t* length) const {
    CtEntry entry;
    if (!EntryAt(index, &entry)) return 0;
    if (entry.Checkword() != entry.checkword) {
        SendLog(kLogArchive, kCheckwordError);
        return 0;
    }
    if (name != nullptr) entry.ReadName(name, nameCapacity);
    if (info != nullptr) entry.ReadInfo(info, infoCapacity);
    if (length != nullptr) {
        if (content != nullptr) entry.ReadContent(content, *length);
        *length = entry.unpackedSize;
    }
    return 1;
}
