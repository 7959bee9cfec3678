#include "services/FileList.h"

#include "services/Text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
const int32_t kBatchSize = 20;
const int32_t kPathCapacity = 256;
}  // namespace

int32_t JoinPath(const char* pattern, const char* name, char* out, int32_t capacity) {
    if (out == nullptr || capacity <= 0) return -1;
    if (name == nullptr) name = "";
    int32_t folder = TextLength(pattern);
    while (folder > 0 && pattern[folder - 1] != '\\' && pattern[folder - 1] != ':') --folder;
    if (folder + TextLength(name) >= capacity) {
        out[0] = 0;
        return -1;
    }
    for (int32_t i = 0; i < folder; ++i) out[i] = pattern[i];
    int32_t position = folder;
    TextCopy(out, name, capacity, &position);
    return position;
}

int32_t CollectPath(void* batch, const char* path, intptr_t) {
    CtFileBatch* b = static_cast<CtFileBatch*>(batch);
    // A batch whose count was not reset has no room left, never a write
    // past its paths.
    if (b->count < 0 || b->count >= kBatchSize) return 0;
    // A path cut to its buffer could name another file, which the caller
    // would then delete: one that does not fit is passed over.
    if (TextLength(path) >= kPathCapacity) return 1;
    TextCopy(b->paths[b->count], path, kPathCapacity, nullptr);
    ++b->count;
    return b->count < kBatchSize ? 1 : 0;
}

#ifdef _WIN32
namespace {
// The walk's search handle, closed on every way out.
class FindHandle {
public:
    FindHandle(const char* pattern, WIN32_FIND_DATAA* found)
        : handle_(FindFirstFileA(pattern, found)) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA* found) { return FindNextFileA(handle_, found) != 0; }

private:
    HANDLE handle_;
};
}  // namespace

int32_t ListFiles(const char* pattern, void* context, ListFilesCallback callback, intptr_t user,
                  const int32_t* stop) {
    WIN32_FIND_DATAA found;
    FindHandle search(pattern, &found);
    if (!search.Valid()) return 0;
    int32_t count = 0;
    char path[kPathCapacity];
    do {
        if (stop != nullptr && *stop != 0) break;
        // ".", ".." and every other name that begins with a point.
        if (found.cFileName[0] == '.') continue;
        ++count;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        // The name is taken whole; a path that does not fit is passed over.
        if (JoinPath(pattern, found.cFileName, path, sizeof path) < 0) continue;
        if (callback(context, path, user) == 0) break;
    } while (search.Next(&found));
    return count;
}
#endif
