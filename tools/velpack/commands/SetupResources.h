// The setup executable's own resources, from velpack make's options: the
// icon Explorer shows (--icon), the version information of its Details tab
// (--version-info, --file-version, --product-version) and the application
// manifest that decides its elevation (--elevation, --manifest).
#ifndef VEL_VELPACK_SETUPRESOURCES_H
#define VEL_VELPACK_SETUPRESOURCES_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velpack/pe/IconFile.h"

namespace CLI {
class App;
}
class ResourceTree;

class SetupResources {
public:
    // Adds the options to command, under a heading of their own.
    void AddOptions(CLI::App* command);

    // Reads and checks what the options give, before anything is packed:
    // the icon file, the manifest file, the version strings (each must fit
    // Windows-1252); the strings not given come from the versions, from
    // output's file name and from title. Complains itself; answers 0, or the
    // exit code.
    int Prepare(const std::string& output, const std::string& title);

    // Puts the prepared resources into tree; without any of the options,
    // nothing changes. false, with error set, when the icon group finds no
    // free ids.
    bool Apply(ResourceTree* tree, std::string* error) const;

private:
    bool PrepareVersion(const std::string& output, const std::string& title);

    // The options as given.
    std::string iconPath_;
    std::vector<std::string> versionInfo_;  // KEY=VALUE, UTF-8
    std::string fileVersion_;
    std::string productVersion_;
    std::string elevation_;
    std::string manifestPath_;

    // What Prepare made of them.
    bool hasIcon_ = false;
    IconFile icon_;
    std::vector<uint8_t> version_;   // empty: no version resource
    std::vector<uint8_t> manifest_;  // empty: no manifest
};

#endif
