#include "services/LogText.h"

#include "services/Text.h"

int32_t FormatLogText(char* buffer, int32_t capacity, const char* prefix, int32_t code) {
    int32_t position = 0;
    TextCopy(buffer, prefix, capacity, &position);
    uint32_t magnitude = static_cast<uint32_t>(code);
    if (code < 0) {
        TextCopy(buffer, "-", capacity, &position);
        magnitude = 0u - magnitude;
    }
    char digits[13];
    NumberToText(magnitude, digits, 10);
    TextCopy(buffer, digits, capacity, &position);
    return position;
}
