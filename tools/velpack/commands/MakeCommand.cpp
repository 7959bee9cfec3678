// velpack make --stub STUB.EXE (DIR | PAYLOAD) -o SETUP.EXE [pack options]
#include <CLI/CLI.hpp>

#include <memory>

#include "archive/CtArchive.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/host/DefaultStub.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/payload/FolderPacker.h"
#include "tools/velpack/payload/OpenPayload.h"
#include "tools/velpack/payload/PayloadSource.h"
#include "tools/velpack/pe/PeImage.h"
#include "tools/velpack/pe/PeRebuild.h"
#include "tools/velpack/pe/ResourceTree.h"

namespace {

struct MakeArguments {
    std::string stub;
    std::string input;
    std::string output;
    PackSettings settings;
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
    PeRebuild rebuilt;
    if (!RebuildWithResources(pe, tree, &rebuilt, &error)) {
        Complain(a.stub, error);
        return false;
    }
    if (rebuilt.signatureDropped) {
        Warn(a.stub, "its Authenticode signature no longer matches and is left out; sign the "
                     "setup executable again");
    }
    // Read back what the launcher will find before anything is written.
    PeImage check;
    ResourceTree checkTree;
    const ResourceLeaf* leaf = nullptr;
    if (check.Parse(&rebuilt.file, &error) && checkTree.Read(check, &error)) {
        leaf = checkTree.Find(PayloadResourceType(), PayloadResourceName());
    }
    if (leaf == nullptr || leaf->data != payload) {
        Complain(a.output, "the rebuilt executable does not carry the payload; not written");
        return false;
    }
    setup->swap(rebuilt.file);
    return true;
}

int RunMake(MakeArguments a) {
    if (a.settings.Given() && !IsFolder(a.input)) {
        Complain(a.input, "the pack options apply to a folder, not to a payload");
        return kExitUsage;
    }
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
    std::vector<uint8_t> payload;
    if (!TakePayload(a, &payload)) return kExitFailed;
    std::vector<uint8_t> setup;
    if (!Bind(a, payload, &setup)) return kExitFailed;
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
    c->footer(
        "The payload becomes the resource EXE_DATA 1 of a copy of the stub, in place of one "
        "that is there; the stub's other resources stay byte for byte. A signature is dropped "
        "with a warning. A payload given as a file is tested first and refused when damaged. "
        "Without --stub, the 32-bit stub is looked for, from velpack's own folder, in "
        "../win32/velstub.exe (the build tree), velstub.exe (beside it) and "
        "../share/velmar/velstub.exe (an installation).");
    return VelpackCommand{c, [a]() { return RunMake(*a); }};
}
