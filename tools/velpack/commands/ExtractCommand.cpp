// velpack extract FILE DIR
#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <utility>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/commands/CommandOptions.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/OpenPayload.h"

namespace {

struct ExtractArguments {
    std::string file;
    std::string folder;
};

// Writes each piece of a content into an open file; a write that fails
// stops the decoding, with the system's text in *error.
class FileSink final : public CtSink {
public:
    FileSink(HostFile* file, std::string* error) : file_(file), error_(error) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        return file_->Write(data, static_cast<size_t>(length), error_) ? 1 : 0;
    }

private:
    HostFile* file_;
    std::string* error_;
};

// Writes one entry into the folder, decoding it through decoder; empty on
// success, else the complaint, under the file it concerns, as "subject\n
// message". A file that could not be written whole is removed.
std::pair<std::string, std::string> WriteEntry(const ExtractArguments& a, const RecordReport& r,
                                               CtContentDecoder* decoder) {
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
    std::string error;  // the file's
    if (!out.CreateReplace(path, &error)) return {path, error};
    FileSink sink(&out, &error);
    const std::string damage = StreamRecord(r, decoder, &sink);
    if (!damage.empty() || (r.hasTime && !out.SetWriteTime(r.fileTime, &error)) ||
        !out.Close(&error)) {
        // What failed first: the content, or the file.
        const std::pair<std::string, std::string> complaint =
            error.empty() ? std::make_pair(a.file, label + ": not written: " + damage)
                          : std::make_pair(path, error);
        std::string closing;
        out.Close(&closing);
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
    // Written on every processor, and reported in their order afterwards.
    std::vector<std::pair<std::string, std::string>> complaints(records.size());
    ForEachRecord(records, "extracting", [&](size_t i, CtContentDecoder* decoder) {
        if (replacedBy[i] == 0) complaints[i] = WriteEntry(a, records[i], decoder);
    });
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
    AddPayloadArgument(c, &a->file);
    c->add_option("DIR", a->folder, "Folder to write into (created when missing)")->required();
    c->footer(
        "Names that would leave DIR (folder parts, \"..\", drive letters) or that Windows "
        "refuses are not written; like the launcher, it writes nothing from a damaged payload. "
        "Exit status 1 when any entry could not be written.");
    return VelpackCommand{c, [a]() { return RunExtract(*a); }};
}
