// Walking the files of a folder: ListFiles calls a function once per file
// with the file's full path, JoinPath builds that path from the search
// pattern and the found name, and CollectPath gathers up to 20 paths per walk
// into a CtFileBatch.
#ifndef VEL_SERVICES_FILELIST_H
#define VEL_SERVICES_FILELIST_H

#include <cstdint>

// Called once per file; nonzero to go on, 0 to stop the walk.
typedef int32_t (*ListFilesCallback)(void* context, const char* path, intptr_t user);

// Paths collected by one walk.
struct CtFileBatch {
    int32_t count;  // set to 0 by the caller before each walk
    char paths[20][256];
};

// out := pattern up to and including its last "\\" or ":" (nothing without
// either), followed by name. The position of the terminating zero, or -1
// with out empty when the whole path does not fit into capacity bytes.
int32_t JoinPath(const char* pattern, const char* name, char* out, int32_t capacity);

// ListFiles callback: stores path into batch->paths[count] and counts it;
// nonzero while the batch has room, so a walk collects at most 20 paths. A
// path longer than 255 characters is passed over, not cut.
int32_t CollectPath(void* batch, const char* path, intptr_t user);

#ifdef _WIN32
// Walks the entries that pattern (a path with wildcards in its last part)
// matches. Names that begin with "." are passed over uncounted; every other
// name is counted; directories are not passed on, and neither is a file
// whose full path would not fit into 255 characters (rather than being cut
// into another file's path). The callback may stop the walk, and so may
// someone who sets *stop (read once per entry; stop may be null). The
// number of names counted, the one the walk stopped at included.
int32_t ListFiles(const char* pattern, void* context, ListFilesCallback callback, intptr_t user,
                  const int32_t* stop);
#endif

#endif
