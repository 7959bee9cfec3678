#include "services/LogText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LogText, PrefixAndSignedDecimal) {
    char text[256];
    EXPECT_EQ(FormatLogText(text, sizeof text, "Erreur CreateProcess ", 2), 22);
    EXPECT_STREQ(text, "Erreur CreateProcess 2");
    FormatLogText(text, sizeof text, "Erreur ProcessDialog ", 1814);
    EXPECT_STREQ(text, "Erreur ProcessDialog 1814");
    FormatLogText(text, sizeof text, "x", -5);
    EXPECT_STREQ(text, "x-5");
    FormatLogText(text, sizeof text, "x", INT32_MIN);
    EXPECT_STREQ(text, "x-2147483648");
}

TEST(LogText, CutToTheBuffer) {
    char text[8];
    EXPECT_EQ(FormatLogText(text, sizeof text, "Erreur ", 12345), 7);
    EXPECT_STREQ(text, "Erreur ");
    char small[10];
    FormatLogText(small, sizeof small, "ab ", 1234567890);
    EXPECT_EQ(std::string(small), "ab 123456");
}

}  // namespace
