#include "tools/velpack/payload/PayloadWalk.h"

#include "archive/CtDecompress.h"
#include "launcher/EntryName.h"
#include "services/InfoTime.h"
#include "services/LogRouting.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/Progress.h"
#include "tools/velpack/payload/NameRules.h"

namespace {

// Keeps the decompressor's log text while one record is decoded.
class DecodeLog : public LogReceiver {
public:
    DecodeLog() : LogReceiver(kLogArchive) { AttachLogReceiver(this); }
    void Log(const char* text) override { last = text; }
    std::string last;
};

// The decimal code at the end of "Erreur en décompréssion code %d".
std::string ErrorCode(const std::string& text) {
    const size_t blank = text.rfind(' ');
    return blank == std::string::npos ? text : text.substr(blank + 1);
}

}  // namespace

std::string RecordReport::Damage() const {
    const CtEntry& e = entry;
    switch (e.Damage()) {
        case kCtDamageLength:
            return "record length " + std::to_string(e.length) + " does not fit the " +
                   std::to_string(e.room) +
                   " bytes left in the payload; the entries behind it cannot be found";
        case kCtDamageParts:
            return "name and information lengths (" + std::to_string(e.nameLength) + ", " +
                   std::to_string(e.infoLength) + ") do not fit the record of " +
                   std::to_string(e.length) + " bytes";
        case kCtDamageCheckword: return "checkword wrong";
        case kCtDamageMethod: return "unknown method " + std::to_string(e.method);
        case kCtDamageUnpacked:
            return "unpacked size " + std::to_string(e.unpackedSize) + " is out of range";
        case kCtDamageStoredSize:
            return "stored content of " + std::to_string(e.ContentLength()) +
                   " bytes, but an unpacked size of " + std::to_string(e.unpackedSize);
        default: return "";
    }
}

std::string EntryLabel(const RecordReport& r) {
    std::string label = "entry " + std::to_string(r.index);
    if (r.state == CtArchive::kRecordSound) label += " (" + PrintableAnsi(r.name) + ")";
    return label;
}

void WarnAboutName(const std::string& file, const RecordReport& r) {
    if (!r.Readable()) return;
    if (EntryNameStaysInside(r.name.c_str()) == 0) {
        Warn(file, EntryLabel(r) + ": the launcher skips this entry: its name leaves the "
                                   "extraction folder or names a device");
        return;
    }
    const std::string problem = WindowsNameProblem(r.name);
    if (!problem.empty()) {
        Warn(file, EntryLabel(r) + ": " + problem +
                       "; the launcher cannot write it and its extraction stops there");
    }
}

std::vector<RecordReport> WalkPayload(const CtArchive& archive) {
    std::vector<RecordReport> records;
    int32_t offset = archive.FirstRecord();
    for (int32_t i = 0;; ++i) {
        RecordReport r;
        r.state = archive.RecordAt(offset, &r.entry);
        if (r.state == CtArchive::kRecordEnd) break;
        r.index = i;
        r.offset = offset;
        // The checkword needs only a usable record length.
        if (r.state != CtArchive::kRecordBadLength) {
            r.checkwordOk = r.entry.Checkword() == r.entry.checkword;
        }
        if (r.state == CtArchive::kRecordSound) {
            char name[kCtNameCapacity];
            char info[kCtInfoCapacity];
            r.entry.ReadName(name, kCtNameCapacity);
            r.entry.ReadInfo(info, kCtInfoCapacity);
            r.name = name;
            r.info = info;
            uint32_t low = 0, high = 0;
            r.hasTime = ReadInfoTime(info, 0, &low, &high) != 0;
            r.fileTime = static_cast<uint64_t>(high) << 32 | low;
        }
        records.push_back(r);
        if (r.state == CtArchive::kRecordBadLength) break;
        offset += r.entry.length;
    }
    return records;
}

size_t FirstDamaged(const std::vector<RecordReport>& records) {
    size_t n = 0;
    while (n < records.size() && records[n].Readable()) ++n;
    return n;
}

std::string DecodeRecord(const RecordReport& record, std::vector<uint8_t>* out) {
    const std::string damage = record.Damage();
    if (!damage.empty()) return damage;
    const CtEntry& e = record.entry;
    const size_t unpacked = static_cast<size_t>(e.unpackedSize);
    if ((e.method & kCtMethodCompressed) == 0) {
        out->assign(e.Content(), e.Content() + unpacked);
        if (e.method == kCtMethodComplemented) {
            for (uint8_t& b : *out) b ^= 0xFF;
        }
        return "";
    }
    // One byte more than needed: a zero size still has a buffer.
    out->assign(unpacked + 1, 0);
    DecodeLog log;
    const int32_t produced = CtDecompress(e.Content(), e.ContentLength(), out->data(), e.unpackedSize);
    out->resize(unpacked);
    if (!log.last.empty()) return "decoding failed, error code " + ErrorCode(log.last);
    if (produced != e.unpackedSize) {
        return "decoded " + std::to_string(produced) + " bytes, but an unpacked size of " +
               std::to_string(e.unpackedSize);
    }
    return "";
}

size_t CheckRecords(const std::vector<RecordReport>& records, const char* what,
                    const std::function<void(const RecordReport&, const std::string&)>& damaged) {
    uint64_t total = 0;
    for (const RecordReport& r : records) {
        if (r.entry.unpackedSize > 0) total += static_cast<uint64_t>(r.entry.unpackedSize);
    }
    Progress progress(what, total);
    uint64_t done = 0;
    size_t count = 0;
    std::vector<uint8_t> content;
    for (const RecordReport& r : records) {
        const std::string damage = DecodeRecord(r, &content);
        if (!damage.empty()) {
            damaged(r, damage);
            ++count;
        }
        if (r.entry.unpackedSize > 0) done += static_cast<uint64_t>(r.entry.unpackedSize);
        progress.Show(done);
    }
    return count;
}
