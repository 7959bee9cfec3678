// velpack make --stub STUB.EXE (DIR | PAYLOAD) -o SETUP.EXE [pack options]
//              [--sign-cert CERT --sign-key KEY [--sign-pass-file F] [--timestamp URL]]
#include <CLI/CLI.hpp>

#include <memory>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/commands/CommandOptions.h"
#include "tools/velpack/commands/SetupResources.h"
#include "tools/velpack/host/CodeSigner.h"
#include "tools/velpack/host/DefaultStub.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/FileTimes.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/payload/FolderPacker.h"
#include "tools/velpack/payload/OpenPayload.h"
#include "tools/velpack/payload/PayloadSource.h"
#include "tools/velpack/payload/PayloadWalk.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeRebuild.h"
#include "tools/velpack/pe/PeSignature.h"
#include "tools/velpack/pe/ResourceTree.h"

namespace {

struct MakeArguments {
    std::string stub;
    std::string input;
    std::string output;
    PackSettings settings;
    SetupResources resources;
    SignSettings sign;
};

// The payload to bind: the folder packed, or a payload (or a setup
// executable's) checked entry by entry. false after complaints.
bool TakePayload(const MakeArguments& a, std::vector<uint8_t>* payload) {
    if (IsFolder(a.input)) return PackFolder(a.input, a.settings, payload);
    OpenedPayload opened;
    if (!OpenPayload(a.input, &opened)) return false;
    const bool sound =
        CheckRecords(opened.records, "checking", [&](const RecordReport& r, const std::string& damage) {
            Complain(a.input, "entry " + std::to_string(r.index) + ": " + damage);
        }) == 0;
    if (!sound) {
        Complain(a.input, "damaged payload; not bound");
        return false;
    }
    payload->assign(opened.source.data, opened.source.data + opened.source.size);
    return true;
}

// file parses as a PE image whose payload resource is payload, as the
// launcher will find it; pe is left reading file.
bool CarriesPayload(const std::vector<uint8_t>& file, const std::vector<uint8_t>& payload,
                    PeImage* pe) {
    ResourceTree tree;
    std::string error;
    const ResourceLeaf* leaf = nullptr;
    if (pe->Parse(&file, &error) && tree.Read(*pe, &error)) {
        leaf = tree.Find(PayloadResourceType(), PayloadResourceName());
    }
    return leaf != nullptr && leaf->data == payload;
}

// The stub with the payload as its EXE_DATA resource 1. false after
// complaints.
bool Bind(const MakeArguments& a, const std::vector<uint8_t>& payload, std::vector<uint8_t>* setup) {
    std::vector<uint8_t> stub;
    std::string error;
    if (!ReadWholeFile(a.stub, &stub, &error)) {
        Complain(a.stub, error);
        return false;
    }
    PeImage pe;
    ResourceTree tree;
    if (!pe.Parse(&stub, &error)) {
        Complain(a.stub, error);
        return false;
    }
    if (!tree.Read(pe, &error)) {
        Complain(a.stub, "resources: " + error);
        return false;
    }
    tree.Replace(PayloadResourceType(), PayloadResourceName(), payload);
    if (!a.resources.Apply(&tree, &error)) {
        Complain(a.stub, error);
        return false;
    }
    PeRebuild rebuilt;
    if (!RebuildWithResources(pe, tree, &rebuilt, &error)) {
        Complain(a.stub, error);
        return false;
    }
    if (rebuilt.signatureDropped && !a.sign.Given()) {
        Warn(a.stub, "its Authenticode signature no longer matches and is left out; sign the "
                     "setup executable again");
    }
    // Read back what the launcher will find before anything is written.
    PeImage check;
    if (!CarriesPayload(rebuilt.file, payload, &check)) {
        Complain(a.output, "the rebuilt executable does not carry the payload; not written");
        return false;
    }
    setup->swap(rebuilt.file);
    return true;
}

// The signing time when no time-stamping service gives one: the newest
// modification time among the entries, so that the same input gives the
// same signed file. Unix seconds, kept to 1970 through 2049, the years the
// attribute's UTCTime spells (and readers expect).
int64_t SigningTime(const std::vector<uint8_t>& payload) {
    const int64_t kLastUtcTime = 2524607999;  // 2049-12-31T23:59:59Z
    const CtArchive archive(payload.data(), static_cast<int32_t>(payload.size()));
    int64_t newest = 0;
    for (const RecordReport& r : WalkPayload(archive)) {
        if (!r.hasTime) continue;
        int64_t seconds = 0;
        uint32_t nanoseconds = 0;
        UnixFromFileTime(r.fileTime, &seconds, &nanoseconds);
        if (seconds > newest) newest = seconds;
    }
    return newest < kLastUtcTime ? newest : kLastUtcTime;
}

// The setup written unsigned beside the output, signed by osslsigncode
// into a second file, read back and only then written in place as any
// result is (executable, through a temporary file): a failure anywhere
// leaves no file behind. false after complaints.
bool WriteSigned(const MakeArguments& a, const std::vector<uint8_t>& setup,
                 const std::vector<uint8_t>& payload) {
    const std::string unsignedPath = TemporaryBeside(a.output) + "-unsigned";
    const std::string signedPath = TemporaryBeside(a.output) + "-signed";
    HostFile file;
    std::string error;
    if (!file.CreateNew(unsignedPath, true, &error) ||
        !file.Write(setup.data(), setup.size(), &error) || !file.Close(&error)) {
        Complain(a.output, error);
        RemoveFile(unsignedPath);
        return false;
    }
    const bool signedIt = SignFile(a.sign, unsignedPath, signedPath, SigningTime(payload), &error);
    RemoveFile(unsignedPath);
    std::vector<uint8_t> result;
    PeImage pe;
    bool written = false;
    if (!signedIt) {
        Complain(a.output, error + "; not written");
    } else if (!ReadWholeFile(signedPath, &result, &error)) {
        Complain(signedPath, error);
    } else if (!CarriesPayload(result, payload, &pe) ||
               ReadPeSignature(pe).state != PeSignature::kSigned) {
        Complain(a.output, "the signed executable does not carry the payload and a signature; "
                           "not written");
    } else {
        written = WriteResult(a.output, result, true);
    }
    RemoveFile(signedPath);
    return written;
}

int RunMake(MakeArguments a) {
    if (a.settings.Given() && !IsFolder(a.input)) {
        Complain(a.input, "the pack options apply to a folder, not to a payload");
        return kExitUsage;
    }
    if (a.sign.Given() && !CheckSignFiles(a.sign)) return kExitUsage;
    if (a.stub.empty()) {
        a.stub = FindDefaultStub();
        if (a.stub.empty()) {
            std::string tried;
            for (const std::string& c : DefaultStubCandidates()) tried += "\n  " + c;
            Complain("", "no launcher stub found; looked for:" + tried +
                             "\nbuild the win32 configuration (make build) or give --stub");
            return kExitFailed;
        }
    }
    if (const int refused = a.resources.Prepare(a.output, a.settings.title)) return refused;
    std::vector<uint8_t> payload;
    if (!TakePayload(a, &payload)) return kExitFailed;
    std::vector<uint8_t> setup;
    if (!Bind(a, payload, &setup)) return kExitFailed;
    if (a.sign.Given()) return WriteSigned(a, setup, payload) ? kExitOk : kExitFailed;
    return WriteResult(a.output, setup, true) ? kExitOk : kExitFailed;
}

}  // namespace

VelpackCommand AddMakeCommand(CLI::App& app) {
    auto a = std::make_shared<MakeArguments>();
    CLI::App* c = app.add_subcommand(
        "make", "Bind a payload (or a folder, packed first) into the launcher stub");
    c->add_option("--stub", a->stub,
                  "Launcher stub (PE32 or PE32+ executable) to bind into; by default the "
                  "product stub built or installed with velpack")
        ->option_text("STUB.EXE");
    c->add_option("INPUT", a->input, "Folder to pack, or payload (or setup executable) to bind")
        ->required();
    c->add_option("-o,--output", a->output, "Setup executable to write")->required()->option_text("SETUP.EXE");
    AddPackOptions(c, &a->settings);
    a->resources.AddOptions(c);
    AddSignOptions(c, &a->sign);
    c->footer(
        "The payload becomes the resource EXE_DATA 1 of a copy of the stub, in place of one "
        "that is there; the stub's other resources stay byte for byte. A signature of the stub "
        "is dropped, with a warning unless --sign-cert signs the setup executable anew "
        "(through osslsigncode; without --timestamp the signing time is the newest entry's "
        "modification time, up to 2049, so that the same input gives the same signed file). A payload given as a file is tested first and refused when damaged. "
        "Without --stub, the 32-bit stub is looked for, from velpack's own folder, in "
        "../win32/velstub.exe (the build tree), velstub.exe (beside it) and "
        "../share/velmar/velstub.exe (an installation).");
    return VelpackCommand{c, [a]() { return RunMake(*a); }};
}
