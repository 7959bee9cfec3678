#include "services/InfoTime.h"

#include "services/Text.h"

const char kInfoTimeLowKey[] = "\r\nDWCL=";
const char kInfoTimeHighKey[] = "\r\nDWCH=";

namespace {
// Each value is read into 16 bytes: at most 15 characters of it count.
const int32_t kValueCapacity = 16;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

uint32_t InfoTimeValue(const char* text) {
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
    return negative ? 0u - value : value;
}

int32_t ReadInfoTime(const char* info, int32_t length, uint32_t* low, uint32_t* high) {
    if (length == 0) length = TextLength(info);
    char lowText[kValueCapacity] = {0};
    char highText[kValueCapacity] = {0};
    TextValue(info, length, kInfoTimeLowKey, lowText, kValueCapacity);
    TextValue(info, length, kInfoTimeHighKey, highText, kValueCapacity);
    if (lowText[0] == 0 && highText[0] == 0) return 0;
    *low = InfoTimeValue(lowText);
    *high = InfoTimeValue(highText);
    return 1;
}
