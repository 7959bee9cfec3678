// How velpack's commands plug into its command line.
//
// Each command adds its CLI11 subcommand to the application and hands back
// the function that runs it once the line has been parsed; the function
// answers the process exit code (0 success, 1 damaged input or failed
// operation; usage errors, 2, are CLI11's and never reach it).
#ifndef VEL_VELPACK_COMMAND_H
#define VEL_VELPACK_COMMAND_H

#include <functional>

namespace CLI {
class App;
}

struct VelpackCommand {
    CLI::App* subcommand;
    std::function<int()> run;
};

// The payload commands: pack, list, test, extract, make.
VelpackCommand AddPackCommand(CLI::App& app);
VelpackCommand AddListCommand(CLI::App& app);
VelpackCommand AddTestCommand(CLI::App& app);
VelpackCommand AddExtractCommand(CLI::App& app);
VelpackCommand AddMakeCommand(CLI::App& app);

// One compressed content at a time: encode, decode.
VelpackCommand AddEncodeCommand(CLI::App& app);
VelpackCommand AddDecodeCommand(CLI::App& app);

#endif
