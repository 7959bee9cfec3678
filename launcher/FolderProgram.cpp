#include "launcher/FolderProgram.h"

#include "services/Text.h"

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

uint32_t StartFromFolder(const char* folder, const char* name, const char* arguments,
                         int32_t wait, WAIT_PUMP* pump, int32_t* started, ProcessCreator create) {
    if (started != nullptr) *started = 0;
    char path[kFolderPathCapacity];
    char command[kFolderCommandCapacity];
    if (FolderCommand(folder, name, arguments, path, command) == 0) return 0;
    return StartProgram(path, command, wait, pump, started, create);
}
