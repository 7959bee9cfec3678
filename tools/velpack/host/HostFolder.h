// Folders and whole-file operations of the host, by UTF-8 paths.
#ifndef VEL_VELPACK_HOSTFOLDER_H
#define VEL_VELPACK_HOSTFOLDER_H

#include <cstdint>
#include <string>
#include <vector>

struct FolderItem {
    enum Kind { kFile, kFolder, kOther };
    std::string name;  // UTF-8, without the folder
    Kind kind;         // links count as what they point to
    uint64_t size;     // of a file
};

// The items directly inside path, in no particular order.
bool ListFolder(const std::string& path, std::vector<FolderItem>* items, std::string* error);

bool IsFolder(const std::string& path);

// Creates path and the folders above it that are missing.
bool MakeFolders(const std::string& path, std::string* error);

// Renames from to to, replacing a file that is there.
bool RenameOver(const std::string& from, const std::string& to, std::string* error);

void RemoveFile(const std::string& path);

// folder + "/" + name (Windows takes '/' too).
std::string JoinHostPath(const std::string& folder, const std::string& name);

// A temporary name beside path, for writing a result whole before it
// replaces path.
std::string TemporaryBeside(const std::string& path);

// A name for a scratch file of this process in the system's temporary
// folder, named after stem.
std::string TemporaryElsewhere(const std::string& stem);

#ifdef _WIN32
std::wstring WidePath(const std::string& utf8);
std::string Utf8FromWide(const std::wstring& wide);
#endif

#endif
