#include "tools/velpack/payload/PayloadWalk.h"

#include <algorithm>
#include <atomic>

#include "archive/CtDecompress.h"
#include "archive/CtContentDecoder.h"
#include "launcher/EntryName.h"
#include "services/InfoTime.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/Progress.h"
#include "tools/velpack/host/Workers.h"
#include "tools/velpack/payload/NameRules.h"

namespace {

// Stored contents go to the sink in pieces of this size.
const int32_t kStoredPiece = 65536;

const char kSinkFailed[] = "the decoded content could not be taken";

// Takes a content and keeps nothing of it.
class CountingSink final : public CtSink {
public:
    int32_t Write(const uint8_t*, int32_t) override { return 1; }
};

}  // namespace

std::string RecordReport::Damage() const {
    const CtEntry& e = entry;
    switch (damage) {
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
    RunJobs(
        records.size(),
        [&](size_t i) {
            RecordReport& r = records[i];
            r.damage = r.entry.Damage();
            // The checkword needs only a usable record length; Damage has
            // summed it where the parts fit.
            r.checkwordOk = r.damage == kCtDamageParts
                                ? r.entry.Checkword() == r.entry.checkword
                                : r.damage != kCtDamageLength && r.damage != kCtDamageCheckword;
        },
        [] {});
    return records;
}

size_t FirstDamaged(const std::vector<RecordReport>& records) {
    size_t n = 0;
    while (n < records.size() && records[n].Readable()) ++n;
    return n;
}

std::string StreamRecord(const RecordReport& record, CtContentDecoder* decoder, CtSink* sink) {
    const std::string damage = record.Damage();
    if (!damage.empty()) return damage;
    const CtEntry& e = record.entry;
    if (CtContentOf(e.method) == kCtContentStored) {
        // Stored: in pieces as large as the decoder's, complemented for
        // method 1 on the way.
        const uint8_t flip = e.method == kCtMethodComplemented ? 0xFF : 0x00;
        uint8_t piece[kStoredPiece];
        for (int32_t at = 0; at < e.unpackedSize;) {
            const int32_t n = std::min(kStoredPiece, e.unpackedSize - at);
            for (int32_t i = 0; i < n; ++i) piece[i] = e.Content()[at + i] ^ flip;
            if (sink->Write(piece, n) == 0) return kSinkFailed;
            at += n;
        }
        return "";
    }
    CtCompressExcept error{0};
    const int32_t produced =
        decoder->Decode(e.method, e.Content(), e.ContentLength(), e.unpackedSize, sink, &error);
    if (produced < 0) {
        if (error.code == kCtErrorStopped) return kSinkFailed;
        return "decoding failed, error code " + std::to_string(error.code);
    }
    if (produced != e.unpackedSize) {
        return "decoded " + std::to_string(produced) + " bytes, but an unpacked size of " +
               std::to_string(e.unpackedSize);
    }
    return "";
}

void ForEachRecord(const std::vector<RecordReport>& records, const char* what,
                   const std::function<void(size_t, CtContentDecoder*)>& job) {
    uint64_t total = 0;
    for (const RecordReport& r : records) {
        if (r.entry.unpackedSize > 0) total += static_cast<uint64_t>(r.entry.unpackedSize);
    }
    Progress progress(what, total);
    std::atomic<uint64_t> done{0};
    std::vector<size_t> order(records.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&records](size_t x, size_t y) {
        return records[x].entry.unpackedSize > records[y].entry.unpackedSize;
    });
    RunJobs(
        records.size(),
        [&](size_t j) {
            const size_t i = order[j];
            CtContentDecoder decoder;
            job(i, &decoder);
            const int32_t size = records[i].entry.unpackedSize;
            if (size > 0) done += static_cast<uint64_t>(size);
        },
        [&]() { progress.Show(done.load()); });
}

size_t CheckRecords(const std::vector<RecordReport>& records, const char* what,
                    const std::function<void(const RecordReport&, const std::string&)>& damaged) {
    // Each decoded into a sink that only counts.
    std::vector<std::string> damage(records.size());
    ForEachRecord(records, what, [&](size_t i, CtContentDecoder* decoder) {
        CountingSink counter;
        damage[i] = StreamRecord(records[i], decoder, &counter);
    });
    size_t count = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (damage[i].empty()) continue;
        damaged(records[i], damage[i]);
        ++count;
    }
    return count;
}
