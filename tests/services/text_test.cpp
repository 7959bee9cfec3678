#include "services/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(TextLength, CountsToTerminatorAndTreatsNullAsEmpty) {
    EXPECT_EQ(TextLength("abc"), 3);
    EXPECT_EQ(TextLength(""), 0);
    EXPECT_EQ(TextLength(nullptr), 0);
}

TEST(TextAppend, AppendsAndTerminates) {
    char buffer[16] = "ab";
    EXPECT_EQ(TextAppend(buffer, "cde"), 5);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(TextAppend(nullptr, "x"), 0);
    EXPECT_EQ(TextAppend(buffer, nullptr), 0);
    EXPECT_STREQ(buffer, "abcde");
}

TEST(TextAppendBounded, AppendsOnlyWhatFitsWhole) {
    char buffer[8] = "abc";
    EXPECT_EQ(TextAppendBounded(buffer, 8, "defg"), 7);  // exactly full
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(TextAppendBounded(buffer, 8, "h"), -1);  // refused, not cut
    EXPECT_STREQ(buffer, "abcdefg");
    char small[4] = "ab";
    EXPECT_EQ(TextAppendBounded(small, 4, "cd"), -1);
    EXPECT_STREQ(small, "ab");
    EXPECT_EQ(TextAppendBounded(small, 0, ""), -1);
    // A buffer whose text is not terminated within capacity is refused.
    char full[3] = {'x', 'y', 'z'};
    EXPECT_EQ(TextAppendBounded(full, 3, ""), -1);
    EXPECT_EQ(full[2], 'z');
}

TEST(TextCopy, CopiesAtMostCapacityMinusOneAndTerminates) {
    char d[8];
    std::memset(d, 'x', sizeof d);
    EXPECT_EQ(TextCopy(d, "abcdef", 4, nullptr), 3);
    EXPECT_STREQ(d, "abc");
    EXPECT_EQ(d[4], 'x');  // nothing written past the terminator
    EXPECT_EQ(TextCopy(d, "abcdef", 1, nullptr), 0);
    EXPECT_STREQ(d, "");
    EXPECT_EQ(TextCopy(nullptr, "a", 4, nullptr), 0);
    EXPECT_EQ(TextCopy(d, nullptr, 4, nullptr), 0);
}

TEST(TextCopy, PositionAppendsPieceAfterPiece) {
    char d[8];
    int32_t pos = 0;
    TextCopy(d, "abc", 8, &pos);
    EXPECT_EQ(pos, 3);
    TextCopy(d, "defgh", 8, &pos);
    EXPECT_EQ(pos, 7);
    EXPECT_STREQ(d, "abcdefg");
}

TEST(TextCopy, StartOutsideTheBufferWritesNothing) {
    char d[4] = {'a', 'b', 'c', 'd'};
    int32_t pos = 4;
    EXPECT_EQ(TextCopy(d, "x", 4, &pos), 0);
    pos = -1;
    EXPECT_EQ(TextCopy(d, "x", 4, &pos), 0);
    EXPECT_EQ(TextCopy(d, "x", 0, nullptr), 0);
    EXPECT_EQ(std::string(d, 4), "abcd");
    pos = 3;  // the last byte may still take the terminator
    EXPECT_EQ(TextCopy(d, "x", 4, &pos), 3);
    EXPECT_EQ(d[3], 0);
}

TEST(TextEqualN, ComparesExactlyNBytesCaseSignificant) {
    EXPECT_EQ(TextEqualN(9, "AutoInst_x.exe", "AutoInst_"), 1);
    EXPECT_EQ(TextEqualN(9, "autoinst_x.exe", "AutoInst_"), 0);
    EXPECT_EQ(TextEqualN(0, "a", "b"), 1);
    // Zero bytes are compared like others.
    EXPECT_EQ(TextEqualN(3, "a\0b", "a\0b"), 1);
    EXPECT_EQ(TextEqualN(3, "a\0b", "a\0c"), 0);
}

TEST(TextFind, ExactAndFoldingModes) {
    EXPECT_EQ(TextFind("ABC", "b", 0, 0), 2);
    EXPECT_EQ(TextFind("ABC", "b", 1, 0), 0);
    EXPECT_EQ(TextFind("x", "xyz", 0, 0), 0);
    EXPECT_EQ(TextFind("abc", "", 1, 0), 1);
    EXPECT_EQ(TextFind("", "", 1, 0), 1);
    EXPECT_EQ(TextFind("a.EXE.txt", ".exe", 0, 0), 2);
    EXPECT_EQ(TextFind("A.exe", ".exe", 0, 0), 2);
    EXPECT_EQ(TextFind(nullptr, "a", 0, 0), 0);
}

TEST(TextFind, FoldTableFoldsCodePage437NotAnsi) {
    EXPECT_EQ(TextFind("\x82", "E", 0, 0), 1);
    EXPECT_EQ(TextFind("\x82", "e", 0, 0), 1);
    EXPECT_EQ(TextFind("\xE9", "e", 0, 0), 0);
    EXPECT_EQ(TextFind("\xE9", "\xE9", 0, 0), 1);
    EXPECT_EQ(TextFind("\x81", "v", 0, 0), 1);
    EXPECT_EQ(TextFind("\x81", "V", 0, 0), 1);
    EXPECT_EQ(TextFind("\x81", "u", 0, 0), 0);
}

TEST(TextFind, ExplicitLengthRunsOverZeroBytesButNotPastLength) {
    const char text[] = "ab\0cd.ist";
    EXPECT_EQ(TextFind(text, "cd", 1, 9), 4);
    EXPECT_EQ(TextFind(text, "cd", 1, 0), 0);  // measured: stops at the zero
    EXPECT_EQ(TextFind(text, ".ist", 0, 8), 0);  // would end beyond length
    EXPECT_EQ(TextFind(text, ".ist", 0, 9), 6);
}

TEST(FoldTable, MapsExactlyTheDocumentedBytes) {
    const std::string folded437 =
        "CVEAAAACEEEIIIAAE\x91\x92OOOUUYOUC\x9C\x9D\x9E\x9F" "AIOUNN";
    for (int c = 0; c < 256; ++c) {
        int want = c;
        if (c >= 'a' && c <= 'z') want = c - 32;
        if (c >= 0x80 && c <= 0xA5) want = static_cast<unsigned char>(folded437[c - 0x80]);
        EXPECT_EQ(FoldTable[c], want) << "byte " << c;
    }
}

TEST(TextFindAfter, PointsBehindTheMatch) {
    const char text[] = "a=1\r\nb=2";
    const char* p = TextFindAfter(text, "b=", 0, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, '2');
    EXPECT_EQ(TextFindAfter(text, "c=", 0, 0), nullptr);
}

TEST(TextValue, TakesTheValueToTheEndOfItsLine) {
    const char info[] = "\r\nDWCL=123\r\nDWCH=4";
    char buf[16];
    EXPECT_EQ(TextValue(info, 0, "\r\nDWCL=", buf, 16), 3);
    EXPECT_STREQ(buf, "123");
    EXPECT_EQ(TextValue(info, 0, "\r\ndwch=", buf, 16), 1);
    EXPECT_STREQ(buf, "4");
}

TEST(TextValue, CutsAtCapacityAndLeavesBufferWhenKeyAbsent) {
    char buf[16] = "keep";
    EXPECT_EQ(TextValue("\r\nK=12345\r\n", 0, "\r\nK=", buf, 3), 2);
    EXPECT_STREQ(buf, "12");
    std::strcpy(buf, "keep");
    EXPECT_EQ(TextValue("DWCL=1", 0, "\r\nDWCL=", buf, 16), 0);  // first line
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(TextValue("\r\nK=1", 0, "\r\nK=", buf, 0), 0);  // no room at all
    EXPECT_STREQ(buf, "keep");
}

TEST(DivideUnsigned, MatchesHardwareDivision) {
    uint32_t q, r;
    DivideUnsigned(0xFFFFFFFFu, 10, &q, &r);
    EXPECT_EQ(q, 429496729u);
    EXPECT_EQ(r, 5u);
    DivideUnsigned(7, 0x80000000u, &q, &r);
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(r, 7u);
    const uint32_t samples[] = {0, 1, 2, 3, 7, 10, 255, 256, 65535, 0x7FFFFFFF,
                                0x80000000u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (uint32_t a : samples) {
        for (uint32_t b : samples) {
            if (b == 0) continue;
            DivideUnsigned(a, b, &q, &r);
            EXPECT_EQ(q, a / b) << a << " / " << b;
            EXPECT_EQ(r, a % b) << a << " % " << b;
        }
    }
}

TEST(DivideUnsignedDeathTest, ZeroDivisorIsNeverAnsweredWithAQuotient) {
    uint32_t q, r;
#ifdef _WIN32
    // Built without exceptions: the program ends as an uncaught one would.
    EXPECT_DEATH(DivideUnsigned(5, 0, &q, &r), "");
#else
    EXPECT_THROW(DivideUnsigned(5, 0, &q, &r), CtExceptionDiv0);
#endif
}

TEST(NumberToText, DigitsInBases2To16) {
    char b[13];
    EXPECT_STREQ(NumberToText(0, b, 10), "0");
    EXPECT_STREQ(NumberToText(0xFFFFFFFFu, b, 10), "4294967295");
    EXPECT_STREQ(NumberToText(255, b, 10), "255");
    EXPECT_STREQ(NumberToText(255, b, 16), "FF");
    EXPECT_STREQ(NumberToText(0xFFFFFFFFu, b, 8), "37777777777");
    EXPECT_STREQ(NumberToText(4095, b, 2), "111111111111");  // 12 digits fit
}

TEST(NumberToText, RefusesBasesAndValuesBeyondTheStore) {
    char b[13];
    std::memset(b, 'x', sizeof b);
    EXPECT_EQ(NumberToText(5, b, 17), nullptr);
    EXPECT_EQ(NumberToText(5, b, 1), nullptr);
    EXPECT_EQ(NumberToText(5, b, 0), nullptr);
    EXPECT_EQ(NumberToText(5, b, -3), nullptr);
    EXPECT_EQ(NumberToText(4096, b, 2), nullptr);        // 13 binary digits
    EXPECT_EQ(NumberToText(0xFFFFFFFFu, b, 6), nullptr);  // 13 digits in base 6
    for (char c : b) EXPECT_EQ(c, 'x');
    EXPECT_STREQ(NumberToText(0xFFFFFFFFu, b, 7), "211301422353");  // 12 fit
}

}  // namespace
