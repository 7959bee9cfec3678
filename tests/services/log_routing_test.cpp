#include "services/LogRouting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every delivery in one shared journal, so that order across
// receivers can be checked.
struct Journal {
    std::vector<std::string> lines;
};

class Recorder : public LogReceiver {
public:
    Recorder(uint16_t id, Journal* journal) : LogReceiver(id), journal_(journal) {}
    void Log(const char* text) override {
        journal_->lines.push_back(std::to_string(identifier) + ":" + text);
    }

private:
    Journal* journal_;
};

TEST(LogRouting, EmptyListDropsEveryText) {
    ASSERT_EQ(LogRouting.first, nullptr);
    for (int id : {0, 67, 69, 101, 65535}) {
        SendLog(static_cast<uint16_t>(id), "x");
        EXPECT_EQ(FindLogReceiver(static_cast<uint16_t>(id)), nullptr);
    }
}

TEST(LogRouting, DeliversToOwnIdentifierThenToZero) {
    Journal j;
    Recorder zero(0, &j), archive(69, &j), other(101, &j);
    AttachLogReceiver(&zero);
    AttachLogReceiver(&other);
    AttachLogReceiver(&archive);
    SendLog(69, "Checkword erreur");
    EXPECT_EQ(j.lines, (std::vector<std::string>{"69:Checkword erreur", "0:Checkword erreur"}));
    j.lines.clear();
    SendLog(0, "once");  // identifier 0 is delivered once, not twice
    EXPECT_EQ(j.lines, (std::vector<std::string>{"0:once"}));
    j.lines.clear();
    SendLog(67, "no receiver of its own");
    EXPECT_EQ(j.lines, (std::vector<std::string>{"0:no receiver of its own"}));
}

TEST(LogRouting, NullTextMeansTheEmptyDefaultText) {
    Journal j;
    Recorder r(69, &j);
    AttachLogReceiver(&r);
    SendLog(69, nullptr);
    EXPECT_EQ(j.lines, (std::vector<std::string>{"69:"}));
}

TEST(LogRouting, IdentifiersCompareOnSixteenBits) {
    Journal j;
    Recorder r(69, &j);
    AttachLogReceiver(&r);
    const int wide = 0x10045;
    EXPECT_EQ(FindLogReceiver(static_cast<uint16_t>(wide)), &r);
    SendLog(static_cast<uint16_t>(wide), "t");
    EXPECT_EQ(j.lines.size(), 1u);
}

TEST(LogRouting, NewestReceiverOfAnIdentifierWinsAndDetachRestores) {
    Journal j;
    Recorder older(69, &j);
    AttachLogReceiver(&older);
    {
        Recorder newer(69, &j);
        AttachLogReceiver(&newer);
        AttachLogReceiver(&newer);  // a second attach changes nothing
        EXPECT_EQ(FindLogReceiver(69), &newer);
        EXPECT_EQ(newer.next, &older);
    }  // destroyed while attached: it leaves the list
    EXPECT_EQ(FindLogReceiver(69), &older);
    DetachLogReceiver(&older);
    DetachLogReceiver(&older);  // not attached: ignored
    EXPECT_EQ(LogRouting.first, nullptr);
}

TEST(LogRouting, DetachFromTheMiddleKeepsTheRestLinked) {
    Journal j;
    Recorder a(1, &j), b(2, &j), c(3, &j);
    AttachLogReceiver(&a);
    AttachLogReceiver(&b);
    AttachLogReceiver(&c);
    DetachLogReceiver(&b);
    EXPECT_EQ(LogRouting.first, &c);
    EXPECT_EQ(c.next, &a);
    EXPECT_EQ(FindLogReceiver(2), nullptr);
    EXPECT_EQ(FindLogReceiver(1), &a);
}

}  // namespace
