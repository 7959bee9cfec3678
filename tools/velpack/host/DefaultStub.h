// The launcher stub that velpack make binds into when --stub is not given:
// the product (32-bit) stub installed or built with velpack.
#ifndef VEL_VELPACK_DEFAULTSTUB_H
#define VEL_VELPACK_DEFAULTSTUB_H

#include <string>
#include <vector>

// Where the stub may lie, in the order they are tried, from the folder that
// holds velpack itself:
//   ../win32/velstub.exe        the build tree (build/<preset>/velpack and
//                               the product in build/win32)
//   velstub.exe                 beside velpack (a Windows installation)
//   ../share/velmar/velstub.exe an installation under a Unix prefix
std::vector<std::string> DefaultStubCandidates();

// The first candidate that can be read, or an empty text.
std::string FindDefaultStub();

#endif
