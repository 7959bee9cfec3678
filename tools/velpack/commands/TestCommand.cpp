// velpack test FILE
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/commands/CommandOptions.h"
#include "tools/velpack/host/CodeSigner.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/TextOutput.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/OpenPayload.h"

namespace {

struct TestArguments {
    std::string file;
};

// Verifies the signature of a signed setup executable; false when it no
// longer matches the file.
bool SignatureHolds(const std::string& file, const PeSignature& signature) {
    const std::string signer = signature.state == PeSignature::kSigned
                                   ? "signed by " + signature.signer
                                   : "signed (" + signature.problem + ")";
    const SignatureCheck check = VerifySignature(file, signature.certificates);
    switch (check.verdict) {
        case SignatureCheck::kVerified:
            Printf(stdout, "%s: %s, signature verified\n", file.c_str(), signer.c_str());
            return true;
        case SignatureCheck::kUntrusted:
            Warn(file, signer + ": the signature matches the file, but " + check.detail);
            return true;
        case SignatureCheck::kUnchecked:
            Warn(file, signer + ": the signature could not be verified: " + check.detail);
            return true;
        case SignatureCheck::kMismatch:
            break;
    }
    Complain(file, signer + ": the signature no longer holds: " + check.detail + "; damaged");
    return false;
}

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
    const bool signatureHolds = opened.source.signature.state == PeSignature::kUnsigned ||
                                SignatureHolds(a.file, opened.source.signature);
    if (damaged != 0) {
        Complain(a.file, std::to_string(damaged) + " of " + std::to_string(records.size()) +
                             " entries damaged");
        return kExitFailed;
    }
    if (!signatureHolds) return kExitFailed;
    Printf(stdout, "%s: %zu entries, all sound\n", a.file.c_str(), records.size());
    return kExitOk;
}

}  // namespace

VelpackCommand AddTestCommand(CLI::App& app) {
    auto a = std::make_shared<TestArguments>();
    CLI::App* c = app.add_subcommand("test", "Check every checkword and decode every entry");
    AddPayloadArgument(c, &a->file);
    c->footer(
        "Exit status 0 only when every entry is sound; each damaged entry is named on stderr. "
        "The check goes on past a damaged entry as long as the record lengths allow it. The "
        "Authenticode signature of a signed setup executable is verified through osslsigncode: "
        "one that no longer matches the file is damage (exit status 1), one whose signer this "
        "machine does not trust, or that cannot be verified (no osslsigncode), a warning.");
    return VelpackCommand{c, [a]() { return RunTest(*a); }};
}
