// velpack extract FILE DIR
#include <CLI/CLI.hpp>

#include <atomic>
#include <map>
#include <memory>
#include <utility>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/host/Progress.h"
#include "tools/velpack/host/Workers.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/OpenPayload.h"

namespace {

struct ExtractArguments {
    std::string file;
    std::string folder;
};

// Writes each piece of a content into an open file.
class FileSink final : public CtSink {
public:
    explicit FileSink(HostFile* file) : file_(file) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        return file_->Write(data, static_cast<size_t>(length)) ? 1 : 0;
    }

private:
    HostFile* file_;
};

// Writes one entry into the folder, decoding it through decoder; empty on
// success, else the complaint, under the file it concerns, as "subject\n
// message". A file that could not be written whole is removed.
std::pair<std::string, std::string> WriteEntry(const ExtractArguments& a, const RecordReport& r,
                                               CtStreamDecoder* decoder) {
    const std::string label = EntryLabel(r);
    // Only a bare Windows file name stays inside the folder and is written
    // under the name the launcher gives it.
    const std::string problem = WindowsNameProblem(r.name);
    std::string name;
    if (!problem.empty() || !Utf8FromAnsi(r.name, &name)) {
        return {a.file, label + ": not written: " +
                            (problem.empty() ? "the name does not fit Windows-1252" : problem)};
    }
    const std::string path = JoinHostPath(a.folder, name);
    HostFile out;
    if (!out.CreateReplace(path)) return {path, out.Error()};
    FileSink sink(&out);
    const std::string damage = StreamRecord(r, decoder, &sink);
    if (!damage.empty() || (r.hasTime && !out.SetWriteTime(r.fileTime)) || !out.Close()) {
        // What failed first: the content, or the file.
        const std::pair<std::string, std::string> complaint =
            out.Error().empty() ? std::make_pair(a.file, label + ": not written: " + damage)
                                : std::make_pair(path, out.Error());
        out.Close();
        RemoveFile(path);
        return complaint;
    }
    return {};
}

int RunExtract(const ExtractArguments& a) {
    OpenedPayload opened;
    if (!OpenPayload(a.file, &opened)) return kExitFailed;
    const std::vector<RecordReport>& records = opened.records;
    // The launcher checks every record before it writes anything, and
    // writes nothing from a damaged payload: neither does this extraction.
    const size_t damaged = FirstDamaged(records);
    if (damaged < records.size()) {
        Complain(a.file, EntryLabel(records[damaged]) + ": " + records[damaged].Damage() +
                             "; the launcher extracts nothing from a damaged payload, and "
                             "neither does this extraction");
        return kExitFailed;
    }
    std::string error;
    if (!MakeFolders(a.folder, &error)) {
        Complain(a.folder, error);
        return kExitFailed;
    }
    // Later entries replace earlier ones of the same name, as the launcher's
    // do: only the last of each name is written.
    std::map<std::string, size_t> last;  // folded name -> record
    std::vector<size_t> replacedBy(records.size(), 0);
    for (size_t i = 0; i < records.size(); ++i) {
        const auto seen = last.emplace(FoldedName(records[i].name), i);
        if (!seen.second) {
            replacedBy[seen.first->second] = i;
            seen.first->second = i;
        }
    }
    uint64_t total = 0;
    for (const RecordReport& r : records) total += static_cast<uint64_t>(r.entry.unpackedSize);
    Progress progress("extracting", total);
    std::atomic<uint64_t> done{0};
    // Entries are independent: written on every processor, and reported in
    // their order afterwards.
    std::vector<std::pair<std::string, std::string>> complaints(records.size());
    const std::vector<size_t> order = LargestFirst(records);
    RunJobs(
        records.size(),
        [&](size_t j) {
            const size_t i = order[j];
            if (replacedBy[i] == 0) {
                CtStreamDecoder decoder;
                complaints[i] = WriteEntry(a, records[i], &decoder);
            }
            done += static_cast<uint64_t>(records[i].entry.unpackedSize);
        },
        [&]() { progress.Show(done.load()); });
    int status = kExitOk;
    for (size_t i = 0; i < records.size(); ++i) {
        if (replacedBy[i] != 0) {
            Warn(a.file, "entry " + std::to_string(replacedBy[i]) + " replaces entry " +
                             std::to_string(i) + " of the same name");
        }
        if (complaints[i].second.empty()) continue;
        Complain(complaints[i].first, complaints[i].second);
        status = kExitFailed;
    }
    return status;
}

}  // namespace

VelpackCommand AddExtractCommand(CLI::App& app) {
    auto a = std::make_shared<ExtractArguments>();
    CLI::App* c = app.add_subcommand(
        "extract", "Write the entries into a folder as the launcher would, with their times");
    c->add_option("FILE", a->file, "Payload, or executable with an EXE_DATA resource 1")->required();
    c->add_option("DIR", a->folder, "Folder to write into (created when missing)")->required();
    c->footer(
        "Names that would leave DIR (folder parts, \"..\", drive letters) or that Windows "
        "refuses are not written; like the launcher, it writes nothing from a damaged payload. "
        "Exit status 1 when any entry could not be written.");
    return VelpackCommand{c, [a]() { return RunExtract(*a); }};
}
