#include "app/Periode.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int32_t kDayMs = 86400000;

TEST(Clock, ReadsMillisecondsOfTheDay) {
    uint32_t last = 0;
    EXPECT_EQ(ClockFromTimeOfDay(&last, 0, 0, 0, 0), 0);
    EXPECT_EQ(ClockFromTimeOfDay(&last, 13, 24, 35, 467), ((13 * 60 + 24) * 60 + 35) * 1000 + 467);
    EXPECT_EQ(ClockFromTimeOfDay(&last, 23, 59, 59, 999), kDayMs - 1);
}

TEST(Clock, RisesAcrossMidnight) {
    uint32_t last = 0;
    const int32_t before = ClockFromTimeOfDay(&last, 23, 59, 59, 999);
    const int32_t after = ClockFromTimeOfDay(&last, 0, 0, 0, 0);
    EXPECT_EQ(after - before, 1);
    // And across the next midnight too.
    ClockFromTimeOfDay(&last, 23, 59, 59, 500);
    EXPECT_EQ(ClockFromTimeOfDay(&last, 0, 0, 0, 500), 2 * kDayMs + 500);
}

TEST(Clock, AClockSetBackJumpsForwardByNearlyADay) {
    uint32_t last = 0;
    const int32_t before = ClockFromTimeOfDay(&last, 12, 0, 0, 0);
    const int32_t after = ClockFromTimeOfDay(&last, 11, 0, 0, 0);
    EXPECT_EQ(after - before, 23 * 3600 * 1000);
    // Same second again: no lift.
    EXPECT_EQ(ClockFromTimeOfDay(&last, 11, 0, 0, 10), after + 10);
}

TEST(Clock, ElapsedTimeSurvivesTheWrapOfReadings) {
    EXPECT_EQ(ClockElapsed(kDayMs - 50, kDayMs + 60), 110u);
    // Readings pass 2^31 after about 25 days and wrap after about 50.
    EXPECT_EQ(ClockElapsed(INT32_MAX - 40, INT32_MIN + 59), 100u);
    EXPECT_EQ(ClockElapsed(-30, 70), 100u);
    // The wrapped arithmetic of a long run gives the same difference.
    uint32_t last = 49 * 86400 + 86399;  // late on the 50th day
    const int32_t start = ClockFromTimeOfDay(&last, 23, 59, 59, 950);
    const int32_t now = ClockFromTimeOfDay(&last, 0, 0, 0, 50);
    EXPECT_EQ(ClockElapsed(start, now), 100u);
}

class Periodic final : public PERIODE {
public:
    Periodic(int32_t reload, std::vector<int>* calls, int tag)
        : PERIODE(reload), calls(calls), tag(tag) {}
    ~Periodic() = default;
    void OnPeriod(MessageRecord* record) override {
        calls->push_back(tag);
        seen = *record;
    }
    std::vector<int>* calls;
    int tag;
    MessageRecord seen{};
};

TEST(Periodic, ObjectsAreCalledEveryReloadTicks) {
    std::vector<int> calls;
    MessageRecord tick{nullptr, 0x0113, 9, 1234, 0, false};
    PERIODE::Tick(&tick);  // an empty list: nothing
    {
        Periodic three(3, &calls, 3);
        Periodic one(1, &calls, 1);
        EXPECT_EQ(PERIODE::First, &one);
        for (int i = 0; i < 6; ++i) PERIODE::Tick(&tick);
        EXPECT_EQ(calls, (std::vector<int>{1, 1, 1, 3, 1, 1, 1, 3}));
        EXPECT_EQ(three.seen.wParam, 9u);
        EXPECT_EQ(three.seen.lParam, 1234);
        EXPECT_EQ(three.countdown, 3);
    }
    EXPECT_EQ(PERIODE::First, nullptr);
}

TEST(Periodic, ACountdownFoundAtZeroGoesBelowAndStaysSilent) {
    std::vector<int> calls;
    MessageRecord tick{nullptr, 0x0113, 0, 0, 0, false};
    Periodic silent(0, &calls, 0);
    PERIODE::Tick(&tick);
    EXPECT_EQ(silent.countdown, -1);
    for (int i = 0; i < 100; ++i) PERIODE::Tick(&tick);
    EXPECT_TRUE(calls.empty());
    // At the bottom of the range the count wraps instead of overflowing.
    silent.countdown = INT32_MIN;
    PERIODE::Tick(&tick);
    EXPECT_EQ(silent.countdown, INT32_MAX);
    silent.countdown = 1;
    PERIODE::Tick(&tick);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(silent.countdown, 0);
}

TEST(Periodic, AnObjectMayDetachItselfWhenCalled) {
    struct Once final : PERIODE {
        explicit Once(int* calls) : PERIODE(1), calls(calls) {}
        ~Once() = default;
        void OnPeriod(MessageRecord*) override {
            ++*calls;
            delete this;
        }
        int* calls;
    };
    std::vector<int> calls;
    Periodic after(1, &calls, 7);
    int onceCalls = 0;
    new Once(&onceCalls);
    MessageRecord tick{nullptr, 0x0113, 0, 0, 0, false};
    PERIODE::Tick(&tick);
    PERIODE::Tick(&tick);
    EXPECT_EQ(onceCalls, 1);
    EXPECT_EQ(calls, (std::vector<int>{7, 7}));
    EXPECT_EQ(PERIODE::First, &after);
}

}  // namespace
