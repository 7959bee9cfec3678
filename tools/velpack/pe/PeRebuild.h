// Writes a PE image again with a new resource section, for binding a
// payload into the launcher stub on any host.
#ifndef VEL_VELPACK_PEREBUILD_H
#define VEL_VELPACK_PEREBUILD_H

#include <cstdint>
#include <string>
#include <vector>

class PeImage;
class ResourceTree;

struct PeRebuild {
    enum Placement {
        kInPlace,     // the resource section rebuilt where it was
        kNewSection,  // a new last section; the old one stays, unreferenced
    };
    std::vector<uint8_t> file;
    Placement placement = kInPlace;
    bool signatureDropped = false;  // an Authenticode signature was removed
};

// The image of pe with tree as its resources. The resource section is
// rebuilt in place when it holds nothing but resources; the sections behind
// it move along when the loader alone refers to them (discardable ones,
// found at most through the relocation directory: .reloc, debug data),
// else the tree must fit the old room, else it goes into a new section at
// the end. A moved or new section's data starts on a page of the file.
// Headers are brought up to date: section table, image size, initialized
// data size, resource directory, symbol table offset, checksum.
// A signature no longer matches the image and is dropped. false, with
// error set, when the image leaves no way to do this.
bool RebuildWithResources(const PeImage& pe, const ResourceTree& tree, PeRebuild* result,
                          std::string* error);

#endif
