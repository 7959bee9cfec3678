#include "archive/CtMem.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

bool AllZero(const CtMem& m) {
    for (int32_t i = 0; i < m.size; ++i) {
        if (m.data[i] != 0) return false;
    }
    return true;
}

TEST(CtMem, SmallRequestsGetAtLeast256ZeroBytes) {
    for (int32_t n : {1, 10, 256}) {
        CtMem m(n);
        ASSERT_TRUE(m.Held()) << n;
        EXPECT_EQ(m.size, 256) << n;
        EXPECT_TRUE(AllZero(m)) << n;
    }
    CtMem big(257);
    ASSERT_TRUE(big.Held());
    EXPECT_EQ(big.size, 257);
    EXPECT_TRUE(AllZero(big));
}

TEST(CtMem, ZeroGivesNoBlock) {
    CtMem m(0);
    EXPECT_FALSE(m.Held());
    EXPECT_EQ(m.handle, nullptr);
    EXPECT_EQ(m.data, nullptr);
}

TEST(CtMem, NegativeAndOverlargeRequestsGetNoBlock) {
    for (int32_t n : {-1, -256, INT32_MIN, INT32_MAX, INT32_MAX - 255}) {
        CtMem m(n);
        EXPECT_FALSE(m.Held()) << n;
        EXPECT_EQ(m.handle, nullptr) << n;
    }
}

TEST(CtMem, DataPointerStaysPutWhileOtherBlocksComeAndGo) {
    CtMem m(1000);
    ASSERT_TRUE(m.Held());
    uint8_t* before = m.data;
    m.data[999] = 7;
    for (int i = 0; i < 50; ++i) {
        CtMem other(100000);
        ASSERT_TRUE(other.Held());
        other.data[0] = 1;
    }
    EXPECT_EQ(m.data, before);
    EXPECT_EQ(m.data[999], 7);
}

TEST(CtMem, PaddedRefusesSizesThatWouldWrap) {
    EXPECT_EQ(CtMem::Padded(0, 10), 10);
    EXPECT_EQ(CtMem::Padded(1000, 256), 1256);
    EXPECT_EQ(CtMem::Padded(INT32_MAX - 10, 10), INT32_MAX);
    EXPECT_EQ(CtMem::Padded(INT32_MAX - 9, 10), -1);
    EXPECT_EQ(CtMem::Padded(INT32_MAX, 256), -1);
    EXPECT_EQ(CtMem::Padded(-1, 10), -1);
    CtMem m(CtMem::Padded(INT32_MAX - 5, 256));
    EXPECT_FALSE(m.Held());
}

}  // namespace
