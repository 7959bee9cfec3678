#include "launcher/SerialRef.h"

#include "services/Text.h"

// In writable initialised data on purpose: a tool may patch the stamp in
// the executable, and the linker must not drop it as unused.
__attribute__((used)) char ReferenceStamp[] =
    "\xFF"
    "*Q_RUN*!0000000000000001!Z000VEL0AIST001.0aVC000000";

namespace {

const int32_t kTagWindow = 24;  // opening star to closing star, at most

bool IsTagCharacter(char c) {
    return c == '*' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           (c >= '0' && c <= '9');
}

}  // namespace

SERIAL_REF::SERIAL_REF() : foundAt(nullptr) { text[0] = 0; }

int32_t SERIAL_REF::Load(const char* area, int32_t length, int32_t limit) {
    if (area == nullptr) area = ReferenceStamp;
    const char* star = FindStamp(area, length, limit);
    if (star == nullptr) return 0;
    // The text runs to its terminator, but never past the limit.
    const int32_t room = limit - static_cast<int32_t>(star - area);
    int32_t n = 0;
    while (n < room && n < static_cast<int32_t>(sizeof text) - 1 && star[n] != 0) {
        text[n] = star[n];
        ++n;
    }
    text[n] = 0;
    foundAt = star;
    return 1;
}

const char* SERIAL_REF::FindStamp(const char* area, int32_t length, int32_t limit) {
    if (area == nullptr || limit < 2) return nullptr;
    int32_t i = 0;
    for (;;) {
        // Search forward for the marker; the bounds are only needed while
        // the search moves, so with length 0 the stamp must open the area.
        while (static_cast<unsigned char>(area[i]) != 0xFF) {
            ++i;
            if (i >= length || i + 1 >= limit) return nullptr;
        }
        ++i;
        if (i >= limit) return nullptr;
        if (area[i] != '*') continue;
        const char* tag = area;
        if (CheckTag(tag, i, limit)) return tag;
        // area[i] is the star, not a marker: the search moves on from it.
    }
}

int32_t SERIAL_REF::CheckTag(const char*& area, int32_t index, int32_t limit) {
    if (index >= limit) return 0;
    for (int32_t k = 0; k < kTagWindow; ++k) {
        const char c = area[index + k];
        if (!IsTagCharacter(c)) return 0;
        // The "!" behind a closing star must be within the limit too.
        if (k > 4 && c == '*' && index + k + 1 < limit && area[index + k + 1] == '!') {
            area += index;
            return 1;
        }
        if (index + k + 1 >= limit) return 0;
    }
    return 0;
}

void SERIAL_REF::NextField(const char*& cursor) const {
    if (cursor == nullptr) cursor = text;
    while (*cursor != 0) {
        if (*cursor++ == '!') return;
    }
}

int32_t SERIAL_REF::GetValue(const char* key, char* destination, int32_t maximum) const {
    const char* cursor = nullptr;
    NextField(cursor);  // past the tag's "!"
    if (*cursor == 0) return 0;
    const int32_t keyLength = TextLength(key);
    for (;;) {
        // The first field behind the tag is never a keyed one.
        NextField(cursor);
        if (*cursor == 0) return 0;
        // Compared forward, so that a short field ends the comparison at
        // its terminator instead of reading past the text.
        int32_t j = 0;
        while (j < keyLength && cursor[j] == key[j]) ++j;
        if (j == keyLength) break;
    }
    const char* value = cursor + keyLength;
    int32_t n = 0;
    while (n < maximum && value[n] != '!' && value[n] != 0) {
        destination[n] = value[n];
        ++n;
    }
    return n;
}
