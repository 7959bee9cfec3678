// velpack: builds installation payloads, inspects and tests them, and binds
// them into the launcher stub.
#include <CLI/CLI.hpp>

#include <vector>

#include "tools/velpack/Command.h"
#include "tools/velpack/Diagnostics.h"

int main(int argc, char** argv) {
    CLI::App app{"velpack: makes, inspects and binds installation payloads", "velpack"};
    app.require_subcommand(1, 1);
    app.failure_message(CLI::FailureMessage::help);

    std::vector<VelpackCommand> commands;

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        Complain("", e.what());
        std::fprintf(stderr, "Try 'velpack --help' or 'velpack COMMAND --help'.\n");
        return kExitUsage;
    }
    for (const VelpackCommand& c : commands) {
        if (c.subcommand->parsed()) return c.run();
    }
    return kExitUsage;
}
