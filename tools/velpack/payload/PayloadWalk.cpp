#include "tools/velpack/payload/PayloadWalk.h"

#include "archive/CtDecompress.h"
#include "services/InfoTime.h"
#include "services/LogRouting.h"
#include "tools/velpack/host/Progress.h"

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
    if (state == CtArchive::kRecordBadLength) {
        return "record length " + std::to_string(e.length) + " does not fit the " +
               std::to_string(e.room) + " bytes left in the payload; the entries behind it cannot be found";
    }
    if (state == CtArchive::kRecordBadParts) {
        return "name and information lengths (" + std::to_string(e.nameLength) + ", " +
               std::to_string(e.infoLength) + ") do not fit the record of " +
               std::to_string(e.length) + " bytes";
    }
    if (!checkwordOk) return "checkword wrong";
    if (static_cast<uint32_t>(e.method) > kCtMethodLast) return "unknown method " + std::to_string(e.method);
    if (e.unpackedSize < 0 || e.unpackedSize > kCtMaxUnpacked) {
        return "unpacked size " + std::to_string(e.unpackedSize) + " is out of range";
    }
    return "";
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

size_t LauncherEntryCount(const std::vector<RecordReport>& records) {
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
        if (e.ContentLength() != e.unpackedSize) {
            return "stored content of " + std::to_string(e.ContentLength()) +
                   " bytes, but an unpacked size of " + std::to_string(e.unpackedSize);
        }
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
