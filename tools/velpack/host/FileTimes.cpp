#include "tools/velpack/host/FileTimes.h"

#include <cstdio>

namespace {

const uint64_t kTicksPerSecond = 10000000;

// Year, month and day of a day count from 1970-01-01 in the proleptic
// Gregorian calendar (eras of 400 years, March-based years).
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

bool FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds, uint64_t* fileTime) {
    if (seconds < -kFileTimeUnixOffset) return false;
    const uint64_t since1601 = static_cast<uint64_t>(seconds + kFileTimeUnixOffset);
    *fileTime = since1601 * kTicksPerSecond + nanoseconds / 100;
    return true;
}

void UnixFromFileTime(uint64_t fileTime, int64_t* seconds, uint32_t* nanoseconds) {
    *seconds = static_cast<int64_t>(fileTime / kTicksPerSecond) - kFileTimeUnixOffset;
    *nanoseconds = static_cast<uint32_t>(fileTime % kTicksPerSecond) * 100;
}

std::string IsoFromFileTime(uint64_t fileTime) {
    int64_t seconds;
    uint32_t nanoseconds;
    UnixFromFileTime(fileTime, &seconds, &nanoseconds);
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int64_t year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);
    char text[64];
    int n = std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d",
                          static_cast<long long>(year), month, day, static_cast<int>(rest / 3600),
                          static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    if (nanoseconds != 0) {
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%07u", nanoseconds / 100);
    }
    return std::string(text) + "Z";
}
