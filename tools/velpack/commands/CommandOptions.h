// The options that several commands share, on their CLI11 subcommands.
#ifndef VEL_VELPACK_COMMANDOPTIONS_H
#define VEL_VELPACK_COMMANDOPTIONS_H

namespace CLI {
class App;
}

#include <string>

struct PackSettings;
struct SignSettings;

// Adds the argument FILE, a payload or a setup executable (list, test,
// extract).
void AddPayloadArgument(CLI::App* command, std::string* file);

// Adds --title, --order, --stored, --codec, --level and --plain-names (pack,
// make).
void AddPackOptions(CLI::App* command, PackSettings* settings);

// Adds --sign-cert, --sign-key, --sign-pass-file and --timestamp (make).
void AddSignOptions(CLI::App* command, SignSettings* settings);

#endif
