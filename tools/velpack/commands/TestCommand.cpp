// velpack test FILE
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/OpenPayload.h"

namespace {

struct TestArguments {
    std::string file;
};

int RunTest(const TestArguments& a) {
    OpenedPayload opened;
    if (!OpenPayload(a.file, &opened)) return kExitFailed;
    const std::vector<RecordReport>& records = opened.records;
    const size_t damaged =
        CheckRecords(records, "testing", [&](const RecordReport& r, const std::string& damage) {
            Complain(a.file, EntryLabel(r) + ": " + damage);
        });
    // Not damage, but the launcher will not write these files.
    for (const RecordReport& r : records) WarnAboutName(a.file, r);
    if (damaged != 0) {
        Complain(a.file, std::to_string(damaged) + " of " + std::to_string(records.size()) +
                             " entries damaged");
        return kExitFailed;
    }
    std::printf("%s: %zu entries, all sound\n", a.file.c_str(), records.size());
    return kExitOk;
}

}  // namespace

VelpackCommand AddTestCommand(CLI::App& app) {
    auto a = std::make_shared<TestArguments>();
    CLI::App* c = app.add_subcommand("test", "Check every checkword and decode every entry");
    c->add_option("FILE", a->file, "Payload, or executable with an EXE_DATA resource 1")->required();
    c->footer(
        "Exit status 0 only when every entry is sound; each damaged entry is named on stderr. "
        "The check goes on past a damaged entry as long as the record lengths allow it.");
    return VelpackCommand{c, [a]() { return RunTest(*a); }};
}
