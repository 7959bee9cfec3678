#include "services/InfoTime.h"

#include <gtest/gtest.h>

namespace {

struct Halves {
    int32_t found;
    uint32_t low;
    uint32_t high;
};

Halves Read(const char* info) {
    Halves h{0, 0xAAAAAAAAu, 0xBBBBBBBBu};
    h.found = ReadInfoTime(info, 0, &h.low, &h.high);
    return h;
}

TEST(ReadInfoTime, BothHalves) {
    Halves h = Read("name\r\nDWCL=3567587328\r\nDWCH=30614089\r\n");
    EXPECT_EQ(h.found, 1);
    EXPECT_EQ(h.low, 3567587328u);
    EXPECT_EQ(h.high, 30614089u);
}

TEST(ReadInfoTime, NoKeysLeavesTheTimeAlone) {
    Halves h = Read("just a line\r\nother=1");
    EXPECT_EQ(h.found, 0);
    EXPECT_EQ(h.low, 0xAAAAAAAAu);
    EXPECT_EQ(h.high, 0xBBBBBBBBu);
    // A key on the first line has no line break before it: not seen.
    EXPECT_EQ(Read("DWCL=5\r\nx").found, 0);
    // A key with an empty value counts as absent.
    EXPECT_EQ(Read("\r\nDWCL=\r\nDWCH=").found, 0);
}

TEST(ReadInfoTime, OneHalfAloneGivesZeroForTheOther) {
    Halves h = Read("\r\nDWCH=7");
    EXPECT_EQ(h.found, 1);
    EXPECT_EQ(h.low, 0u);
    EXPECT_EQ(h.high, 7u);
}

TEST(ReadInfoTime, KeysInLowerCase) {
    Halves h = Read("\r\ndwcl=12\r\ndwch=34");
    EXPECT_EQ(h.low, 12u);
    EXPECT_EQ(h.high, 34u);
}

TEST(ReadInfoTime, ValuesAreCutToFifteenDigits) {
    // 1234567890123456 cut to 123456789012345, taken modulo 2^32.
    Halves h = Read("\r\nDWCL=1234567890123456");
    EXPECT_EQ(h.low, static_cast<uint32_t>(123456789012345ull));
}

TEST(InfoTimeValue, WrapsModulo32BitsAndReadsSigns) {
    EXPECT_EQ(InfoTimeValue("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(InfoTimeValue("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(InfoTimeValue("  +42x"), 42u);
    EXPECT_EQ(InfoTimeValue("4294967296"), 0u);
    EXPECT_EQ(InfoTimeValue("abc"), 0u);
    EXPECT_EQ(InfoTimeValue(""), 0u);
    EXPECT_EQ(InfoTimeValue("-"), 0u);
}

}  // namespace
