// velpack pack DIR -o PAYLOAD [pack options]
#include <CLI/CLI.hpp>

#include <memory>

#include "tools/velpack/commands/Command.h"
#include "tools/velpack/commands/CommandOptions.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/payload/FolderPacker.h"

namespace {

struct PackArguments {
    std::string folder;
    std::string output;
    PackSettings settings;
};

int RunPack(const PackArguments& a) {
    std::vector<uint8_t> image;
    if (!PackFolder(a.folder, a.settings, &image)) return kExitFailed;
    return WriteResult(a.output, image, false) ? kExitOk : kExitFailed;
}

}  // namespace

VelpackCommand AddPackCommand(CLI::App& app) {
    auto a = std::make_shared<PackArguments>();
    CLI::App* c = app.add_subcommand("pack", "Pack the files of a folder into a payload");
    c->add_option("DIR", a->folder, "Folder whose files (directly inside it) become the entries")
        ->required();
    c->add_option("-o,--output", a->output, "Payload file to write")->required()->option_text("PAYLOAD");
    AddPackOptions(c, &a->settings);
    c->footer(
        "Every file gets its modification time and its name in Windows-1252. Refused, before "
        "anything is written: subfolders, names that do not fit Windows-1252, are longer than 63 "
        "bytes or that Windows forbids, names that differ only in case, files of 2 GiB or more.");
    return VelpackCommand{c, [a]() { return RunPack(*a); }};
}
