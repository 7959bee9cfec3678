#include "launcher/SerialRef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A stamp in an area of its own: marker, then the text.
std::string Stamp(const std::string& text) { return std::string("\xFF") + text; }

TEST(SerialRef, ProgramStampGivesTheProductValue) {
    SERIAL_REF ref;
    ASSERT_EQ(ref.Load(nullptr, 0, 256), 1);
    EXPECT_STREQ(ref.text, "*Q_RUN*!0000000000000001!Z000VEL0AIST001.0aVC000000");
    char value[22];
    std::memset(value, '#', sizeof value);
    ASSERT_EQ(ref.GetValue("Z000", value, 22), 22);
    EXPECT_EQ(std::string(value, 22), "VEL0AIST001.0aVC000000");
    EXPECT_EQ(std::string(value + 10, 4), "1.0a");
}

TEST(SerialRef, StoredStampLayout) {
    // Marker, tag, first field of 16 digits, key and 22-character value,
    // terminator: 53 bytes, at the offsets tools rely on.
    EXPECT_EQ(static_cast<unsigned char>(ReferenceStamp[0]), 0xFF);
    EXPECT_EQ(std::string(ReferenceStamp + 1, 7), "*Q_RUN*");
    EXPECT_EQ(ReferenceStamp[8], '!');
    for (int i = 9; i < 25; ++i) EXPECT_TRUE(ReferenceStamp[i] >= '0' && ReferenceStamp[i] <= '9');
    EXPECT_EQ(ReferenceStamp[25], '!');
    EXPECT_EQ(std::string(ReferenceStamp + 26, 4), "Z000");
    EXPECT_EQ(ReferenceStamp[52], 0);
}

TEST(SerialRef, TagLengthRules) {
    SERIAL_REF ref;
    std::string three = Stamp("*ABC*!1!K1v");
    EXPECT_EQ(ref.Load(three.c_str(), 0, 256), 0);
    EXPECT_STREQ(ref.text, "");
    std::string four = Stamp("*ABCD*!1!K1v");
    EXPECT_EQ(ref.Load(four.c_str(), 0, 256), 1);
    std::string twentyTwo = Stamp("*" + std::string(22, 'A') + "*!1!K1v");
    EXPECT_EQ(ref.Load(twentyTwo.c_str(), 0, 256), 1);
    std::string twentyThree = Stamp("*" + std::string(23, 'A') + "*!1!K1v");
    EXPECT_EQ(ref.Load(twentyThree.c_str(), 0, 256), 0);
    // A star among the first four characters does not close the tag.
    std::string earlyStar = Stamp("*AB*CD*!1!K1v");
    SERIAL_REF r2;
    EXPECT_EQ(r2.Load(earlyStar.c_str(), 0, 256), 1);
    EXPECT_EQ(std::string(r2.text).substr(0, 7), "*AB*CD*");
}

TEST(SerialRef, TagCharactersOutsideTheSetInvalidate) {
    SERIAL_REF ref;
    for (const char* bad : {"*AB D*!1!K1v", "*AB.D*!1!K1v"}) {
        std::string s = Stamp(bad);
        EXPECT_EQ(ref.Load(s.c_str(), 0, 256), 0) << bad;
    }
}

TEST(SerialRef, SearchMovesOnlyWithinLengthAndLimit) {
    std::string area = "xxxx" + Stamp("*Q_RUN*!1!Z000abc");
    SERIAL_REF ref;
    EXPECT_EQ(ref.Load(area.c_str(), 0, 256), 0);  // length 0: must open the area
    EXPECT_EQ(ref.Load(area.c_str(), static_cast<int32_t>(area.size()), 256), 1);
    EXPECT_EQ(ref.foundAt, area.c_str() + 5);
    // A marker without a star, and a star without a valid tag, are passed by.
    std::string noise = std::string("\xFF" "a\xFF*!!") + Stamp("*Q_RUN*!1!Z000v");
    EXPECT_EQ(SERIAL_REF::FindStamp(noise.c_str(), static_cast<int32_t>(noise.size()), 256),
              noise.c_str() + 7);
    // The closing "*!" must lie within the limit.
    std::string s = Stamp("*Q_RUN*!1!Z000v");
    EXPECT_EQ(SERIAL_REF::FindStamp(s.c_str(), 0, 8), nullptr);
    EXPECT_EQ(SERIAL_REF::FindStamp(s.c_str(), 0, 9), s.c_str() + 1);
}

TEST(SerialRef, CheckTagMovesTheArea) {
    const char* area = "xx*Q_RUN*!";
    const char* moved = area;
    EXPECT_EQ(SERIAL_REF::CheckTag(moved, 2, 64), 1);
    EXPECT_EQ(moved, area + 2);
    const char* same = area;
    EXPECT_EQ(SERIAL_REF::CheckTag(same, 2, 2), 0);
    EXPECT_EQ(same, area);
}

TEST(SerialRef, GetValueRules) {
    std::string s = Stamp("*Q_RUN*!Z000first!Z000second!K!KEYextra!Z000third");
    SERIAL_REF ref;
    ASSERT_EQ(ref.Load(s.c_str(), 0, 256), 1);
    char v[32];
    // The first field behind the tag is never taken as a keyed field.
    int32_t n = ref.GetValue("Z000", v, 32);
    EXPECT_EQ(std::string(v, n), "second");
    // The first matching field wins, even with an empty value, which
    // counts as absent; keys match by prefix.
    EXPECT_EQ(ref.GetValue("K", v, 32), 0);
    n = ref.GetValue("KEY", v, 32);
    EXPECT_EQ(std::string(v, n), "extra");
    // Cut at the maximum; the destination is not terminated.
    std::memset(v, '#', sizeof v);
    EXPECT_EQ(ref.GetValue("Z000", v, 3), 3);
    EXPECT_EQ(std::string(v, 4), "sec#");
    // An absent key leaves the destination untouched.
    EXPECT_EQ(ref.GetValue("NOPE", v, 32), 0);
    EXPECT_EQ(v[0], 's');
    SERIAL_REF empty;
    EXPECT_EQ(empty.GetValue("Z000", v, 32), 0);
}

TEST(SerialRef, KeyBehindOnlyTheTagIsNotFound) {
    std::string s = Stamp("*Q_RUN*!Z000value");
    SERIAL_REF ref;
    ASSERT_EQ(ref.Load(s.c_str(), 0, 256), 1);
    char v[8];
    EXPECT_EQ(ref.GetValue("Z000", v, 8), 0);
}

TEST(SerialRef, TextIsCutAt511Characters) {
    std::string s = Stamp("*Q_RUN*!1!K" + std::string(600, 'v'));
    SERIAL_REF ref;
    ASSERT_EQ(ref.Load(s.c_str(), 0, 1000), 1);
    EXPECT_EQ(std::strlen(ref.text), 511u);
    // and never copied past the limit
    SERIAL_REF bounded;
    ASSERT_EQ(bounded.Load(s.c_str(), 0, 20), 1);
    EXPECT_EQ(std::strlen(bounded.text), 19u);
}

}  // namespace
