#include "app/ChannelRegistry.h"

#ifdef _WIN32

#include <windows.h>

uint32_t RegisterChannelMessage(const char* name) {
    if (name == nullptr || name[0] == 0) return 0;
    return RegisterWindowMessageA(name);
}

#else

#include "services/Text.h"

namespace {
// Registered message numbers start where Windows starts them.
const uint32_t kFirstMessage = 0xC000;
const int kNames = 64;
const int32_t kNameCapacity = 256;

char RegisteredNames[kNames][kNameCapacity];
int RegisteredCount = 0;

char Folded(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(const char* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (Folded(*a) != Folded(*b)) return false;
    }
    return *a == *b;
}
}  // namespace

uint32_t RegisterChannelMessage(const char* name) {
    if (name == nullptr || name[0] == 0) return 0;
    // Windows registers names of up to 255 characters.
    if (TextLength(name) >= kNameCapacity) return 0;
    for (int i = 0; i < RegisteredCount; ++i) {
        if (SameName(RegisteredNames[i], name)) return kFirstMessage + static_cast<uint32_t>(i);
    }
    if (RegisteredCount == kNames) return 0;
    TextCopy(RegisteredNames[RegisteredCount], name, kNameCapacity, nullptr);
    return kFirstMessage + static_cast<uint32_t>(RegisteredCount++);
}

#endif
