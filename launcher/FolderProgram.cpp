#include "launcher/FolderProgram.h"

#include "services/Text.h"

namespace {

// A 256-byte path, and that path quoted with a blank and the launcher's
// whole command line (511).
const int32_t kFolderPathCapacity = 256;
const int32_t kFolderCommandCapacity = kFolderPathCapacity + 2 + 1 + 512;

// path := folder\name; command := that path quoted, and the arguments.
// 0 when the path does not fit.
int32_t FolderCommand(const char* folder, const char* name, const char* arguments, char* path,
                      char* command) {
    TextCopy(path, folder, kFolderPathCapacity, nullptr);
    const int32_t n = TextLength(path);
    if ((n == 0 || path[n - 1] != '\\') && TextAppendBounded(path, kFolderPathCapacity, "\\") < 0) {
        return 0;
    }
    if (TextAppendBounded(path, kFolderPathCapacity, name) < 0) return 0;
    int32_t at = 0;
    TextCopy(command, "\"", kFolderCommandCapacity, &at);
    TextCopy(command, path, kFolderCommandCapacity, &at);
    TextCopy(command, "\"", kFolderCommandCapacity, &at);
    if (arguments != nullptr && arguments[0] != 0) {
        TextCopy(command, " ", kFolderCommandCapacity, &at);
        TextCopy(command, arguments, kFolderCommandCapacity, &at);
    }
    return 1;
}

}  // namespace

uint32_t StartFromFolder(const char* folder, const char* name, const char* arguments,
                         int32_t wait, WAIT_PUMP* pump, int32_t* started, ProcessCreator create,
                         H_PROCESS* kept, uint32_t flags) {
    if (started != nullptr) *started = 0;
    char path[kFolderPathCapacity];
    char command[kFolderCommandCapacity];
    if (FolderCommand(folder, name, arguments, path, command) == 0) return 0;
    return StartProgram(path, command, wait, pump, started, create, kept, flags);
}
