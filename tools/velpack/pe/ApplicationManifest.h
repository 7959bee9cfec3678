// The application manifest of an executable (RT_MANIFEST 1), which Windows
// reads before the program starts: the execution level it asks for, and
// the versions of Windows it declares it knows. A malformed one keeps the
// program from starting at all ("side-by-side configuration is incorrect").
#ifndef VEL_VELPACK_APPLICATIONMANIFEST_H
#define VEL_VELPACK_APPLICATIONMANIFEST_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velpack/pe/ResourceTree.h"

class ApplicationManifest {
public:
    static const uint16_t kType = 24;  // RT_MANIFEST
    // The values of requestedExecutionLevel.
    static const std::vector<std::string>& Levels();

    // The manifest for one of Levels(): that level, no UI access, and the
    // supportedOS entries of Windows Vista, 7, 8, 8.1 and 10/11.
    static std::vector<uint8_t> ForLevel(const std::string& level);

    // A maker's manifest: UTF-8 text (a byte order mark allowed) holding
    // one root element, assembly, with every element closed in order,
    // attribute values quoted and each & starting a reference. false, with
    // error set (naming the line), for anything else.
    static bool Check(const std::vector<uint8_t>& text, std::string* error);

    // Puts text in place of the manifest of tree (RT_MANIFEST 1, in any
    // language), as a language-neutral resource.
    static void Install(const std::vector<uint8_t>& text, ResourceTree* tree);
};

#endif
