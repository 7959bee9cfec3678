// The records of a payload as velpack's inspecting commands see them: every
// record the lengths let a walk reach, damaged ones included, each with
// what the launcher would read of it.
#ifndef VEL_VELPACK_PAYLOADWALK_H
#define VEL_VELPACK_PAYLOADWALK_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/CtArchive.h"
#include "archive/CtSink.h"
#include "archive/CtContentDecoder.h"

struct RecordReport {
    int32_t index = 0;
    int32_t offset = 0;  // of the record in the payload
    int32_t state = CtArchive::kRecordSound;
    CtEntry entry;
    bool checkwordOk = false;
    int32_t damage = kCtSound;  // CtEntry::Damage, found once by the walk
    std::string name;  // as the launcher reads it: 63 bytes at most, to the first zero
    std::string info;  // likewise, 127 bytes
    bool hasTime = false;
    uint64_t fileTime = 0;  // the information text's last-write time

    // Nothing wrong with the record itself: the launcher reads this entry.
    bool Readable() const { return damage == kCtSound; }
    // What is wrong with the record itself (CtEntry::Damage), empty when
    // it is readable: lengths, checkword, method, unpacked size, a stored
    // content's length.
    std::string Damage() const;
};

// Walks from the first record to the end: a zero length, the image's end,
// or a record length that does not let the walk go on (the last report
// then has state kRecordBadLength). The checkwords are summed on every
// processor.
std::vector<RecordReport> WalkPayload(const CtArchive& archive);

// The index of the first record that is not readable, or the number of
// records when all are. The launcher checks every record before it writes
// anything: with one damaged, it extracts nothing.
size_t FirstDamaged(const std::vector<RecordReport>& records);

// "entry N (name)" for messages; the name only when the record has one.
std::string EntryLabel(const RecordReport& record);

// Warns on stderr, under file, when the launcher will not write a readable
// record's name: it skips names that leave its folder or name a device, and
// its extraction stops at a name that Windows refuses. Nothing for a name
// it writes.
void WarnAboutName(const std::string& file, const RecordReport& record);

// Hands a readable record's content to sink piece by piece, decoded through
// decoder, whatever its codec (any number of records, one after the other,
// in the memory of its blocks). Empty when the whole content reached the sink, else what went
// wrong: the record's damage, a decoding error and its code, a decoded
// length that differs, or a sink that refused a piece. After a failure the
// sink may have taken the start of the content.
std::string StreamRecord(const RecordReport& record, CtContentDecoder* decoder, CtSink* sink);

// Calls job(i, decoder) once for every record i, on every processor, the
// largest unpacked size first so that all of them stay busy to the end,
// each call with a streaming decoder of its own; progress on stderr under
// the word what follows the unpacked sizes. Records are independent: each
// job keeps its result in a place of its own, for the caller to report in
// the records' order.
void ForEachRecord(const std::vector<RecordReport>& records, const char* what,
                   const std::function<void(size_t, CtContentDecoder*)>& job);

// Decodes every record (ForEachRecord), and then calls damaged for each one
// that is not sound, in their order, with what is wrong with it. Returns
// the number of damaged records.
size_t CheckRecords(const std::vector<RecordReport>& records, const char* what,
                    const std::function<void(const RecordReport&, const std::string&)>& damaged);

#endif
