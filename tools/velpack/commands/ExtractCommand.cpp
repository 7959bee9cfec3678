// velpack extract FILE DIR
#include <CLI/CLI.hpp>

#include <map>
#include <memory>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/host/Progress.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/OpenPayload.h"

namespace {

struct ExtractArguments {
    std::string file;
    std::string folder;
};

// Writes one entry into the folder; false after a complaint.
bool WriteEntry(const ExtractArguments& a, const RecordReport& r, std::vector<uint8_t>* content) {
    const std::string label = EntryLabel(r);
    // Only a bare Windows file name stays inside the folder and is written
    // under the name the launcher gives it.
    const std::string problem = WindowsNameProblem(r.name);
    std::string name;
    if (!problem.empty() || !Utf8FromAnsi(r.name, &name)) {
        Complain(a.file, label + ": not written: " +
                             (problem.empty() ? "the name does not fit Windows-1252" : problem));
        return false;
    }
    const std::string damage = DecodeRecord(r, content);
    if (!damage.empty()) {
        Complain(a.file, label + ": not written: " + damage);
        return false;
    }
    const std::string path = JoinHostPath(a.folder, name);
    HostFile out;
    if (!out.CreateReplace(path) || !out.Write(content->data(), content->size()) ||
        (r.hasTime && !out.SetWriteTime(r.fileTime)) || !out.Close()) {
        Complain(path, out.Error());
        return false;
    }
    return true;
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
    uint64_t total = 0;
    for (const RecordReport& r : records) total += static_cast<uint64_t>(r.entry.unpackedSize);
    Progress progress("extracting", total);
    uint64_t done = 0;
    int status = kExitOk;
    std::map<std::string, int32_t> written;  // folded name -> entry
    std::vector<uint8_t> content;
    for (const RecordReport& r : records) {
        if (!WriteEntry(a, r, &content)) {
            status = kExitFailed;
        } else {
            // Later entries replace earlier ones, as the launcher's do.
            const auto seen = written.emplace(FoldedName(r.name), r.index);
            if (!seen.second) {
                Warn(a.file, "entry " + std::to_string(r.index) + " replaces entry " +
                                 std::to_string(seen.first->second) + " of the same name");
                seen.first->second = r.index;
            }
        }
        done += static_cast<uint64_t>(r.entry.unpackedSize);
        progress.Show(done);
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
