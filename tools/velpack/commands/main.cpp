// velpack: builds installation payloads, inspects and tests them, and binds
// them into the launcher stub.
#include <CLI/CLI.hpp>

#include <memory>
#include <sstream>
#include <vector>

#include "tools/velpack/commands/Command.h"
#include "tools/velpack/commands/HelpFormatter.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/TextOutput.h"
#include "tools/velpack/host/Utf8Arguments.h"

int main(int argc, char** argv) {
    // Windows hands argv over in the ANSI code page; velpack works in UTF-8.
    Utf8Arguments arguments(argc, argv);
    CLI::App app{"velpack " VEL_VERSION ": makes, inspects and binds installation payloads",
                 "velpack"};
    // Before the commands are added: each takes its formatter from here.
    app.formatter(std::make_shared<HelpFormatter>());
    app.set_version_flag("--version", "velpack " VEL_VERSION);
    app.require_subcommand(1, 1);
    app.failure_message(CLI::FailureMessage::help);
    // Paths such as /tmp/x are arguments, never options, on every host.
    app.allow_windows_style_options(false);

    std::vector<VelpackCommand> commands;
    commands.push_back(AddPackCommand(app));
    commands.push_back(AddListCommand(app));
    commands.push_back(AddTestCommand(app));
    commands.push_back(AddExtractCommand(app));
    commands.push_back(AddMakeCommand(app));
    commands.push_back(AddEncodeCommand(app));
    commands.push_back(AddDecodeCommand(app));

    try {
        app.parse(arguments.Count(), arguments.Values());
    } catch (const CLI::Success& e) {
        // --help or --version; written as every other text is (host/TextOutput.h).
        std::ostringstream text;
        const int status = app.exit(e, text, text);
        WriteText(stdout, text.str());
        return status;
    } catch (const CLI::ParseError& e) {
        Complain("", e.what());
        Printf(stderr, "Try 'velpack --help' or 'velpack COMMAND --help'.\n");
        return kExitUsage;
    }
    for (const VelpackCommand& c : commands) {
        if (c.subcommand->parsed()) return c.run();
    }
    return kExitUsage;
}
