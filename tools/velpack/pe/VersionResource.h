// The version information of an executable (RT_VERSION 1), which Explorer's
// Details tab, the elevation prompt and GetFileVersionInfo show: one
// VS_VERSIONINFO block for French text in code page 1252.
#ifndef VEL_VELPACK_VERSIONRESOURCE_H
#define VEL_VELPACK_VERSIONRESOURCE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/velpack/pe/ResourceTree.h"

class VersionResource {
public:
    static const uint16_t kType = 16;          // RT_VERSION
    static const uint16_t kLanguage = 0x040C;  // French (France)
    static const uint16_t kCodePage = 1252;

    // A.B.C.D as four 16-bit parts, A the highest.
    uint64_t fileVersion = 0;
    uint64_t productVersion = 0;
    // Each string's key and value, in this order.
    std::vector<std::pair<std::u16string, std::u16string>> strings;

    // VS_VERSIONINFO: the fixed part (VS_FIXEDFILEINFO of an application),
    // a StringFileInfo block with one table, "040C04E4", of the strings,
    // and a VarFileInfo block whose Translation names that table. false,
    // with error set, when it exceeds the 64 KB its lengths can tell.
    bool Build(std::vector<uint8_t>* data, std::string* error) const;

    // Puts data in place of every version resource of tree, as RT_VERSION 1
    // in French: Windows reads the first it finds, whatever its language.
    static void Install(const std::vector<uint8_t>& data, ResourceTree* tree);
};

#endif
