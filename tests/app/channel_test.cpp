#include "app/AppliMsg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ChannelRegistry.h"
#include "services/LogRouting.h"

namespace {

class Channel final : public APPLI_MSG {
public:
    Channel(const char* name, std::vector<std::string>* journal, std::string tag)
        : APPLI_MSG(name), journal(journal), tag(std::move(tag)) {}
    ~Channel() = default;
    void OnMessage(MessageRecord* record) override {
        journal->push_back(tag);
        record->result += 1;
    }
    std::vector<std::string>* journal;
    std::string tag;
};

class Receiver : public LogReceiver {
public:
    explicit Receiver(uint16_t id) : LogReceiver(id) { AttachLogReceiver(this); }
    void Log(const char* text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

MessageRecord Record(uint32_t message, MessageWParam wParam = 0, MessageLParam lParam = 0) {
    return MessageRecord{nullptr, message, wParam, lParam, 0, false};
}

TEST(ChannelRegistry, SameNameSameNumberWhateverTheCase) {
    const uint32_t a = RegisterChannelMessage("VelTestChannelA");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_EQ(RegisterChannelMessage("veltestchannela"), a);
    EXPECT_EQ(RegisterChannelMessage("VELTESTCHANNELA"), a);
    const uint32_t b = RegisterChannelMessage("VelTestChannelB");
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(b, a);
    EXPECT_EQ(RegisterChannelMessage(""), 0u);
    EXPECT_EQ(RegisterChannelMessage(nullptr), 0u);
}

TEST(Channels, ListedNewestFirstAndTakenOutInAnyOrder) {
    std::vector<std::string> j;
    ASSERT_EQ(APPLI_MSG::NewestChannel, nullptr);
    {
        Channel a("VelTestA", &j, "a");
        {
            Channel b("VelTestB", &j, "b");
            Channel c("VelTestC", &j, "c");
            EXPECT_EQ(APPLI_MSG::NewestChannel, &c);
            EXPECT_EQ(APPLI_MSG::OldestChannel, &a);
            EXPECT_EQ(c.olderChannel, &b);
            EXPECT_EQ(b.olderChannel, &a);
            EXPECT_EQ(a.newerChannel, &b);
            EXPECT_EQ(b.newerChannel, &c);
            EXPECT_EQ(a.olderChannel, nullptr);
            EXPECT_EQ(c.newerChannel, nullptr);
        }  // c then b leave: a is alone again
        EXPECT_EQ(APPLI_MSG::NewestChannel, &a);
        EXPECT_EQ(APPLI_MSG::OldestChannel, &a);
        EXPECT_EQ(a.newerChannel, nullptr);
        {
            Channel* b = new Channel("VelTestB", &j, "b");
            Channel c("VelTestC", &j, "c");
            delete b;  // out of the middle
            EXPECT_EQ(c.olderChannel, &a);
            EXPECT_EQ(a.newerChannel, &c);
        }
    }
    EXPECT_EQ(APPLI_MSG::NewestChannel, nullptr);
    EXPECT_EQ(APPLI_MSG::OldestChannel, nullptr);
}

TEST(Channels, EveryMatchingChannelHandlesTheMessageNewestFirst) {
    std::vector<std::string> j;
    Channel older("VelTestSame", &j, "older");
    Channel other("VelTestOther", &j, "other");
    Channel newer("veltestsame", &j, "newer");
    ASSERT_EQ(older.messageNumber, newer.messageNumber);
    MessageRecord r = Record(older.messageNumber);
    EXPECT_EQ(DispatchChannels(&r), 1);
    EXPECT_EQ(j, (std::vector<std::string>{"newer", "older"}));
    EXPECT_EQ(r.result, 2);

    j.clear();
    MessageRecord none = Record(0x0401);
    EXPECT_EQ(DispatchChannels(&none), 0);
    EXPECT_TRUE(j.empty());
}

TEST(Channels, NameIsCutButRegisteredWhole) {
    std::vector<std::string> j;
    const std::string long_name = "VelTestLong" + std::string(150, 'x');
    Channel c(long_name.c_str(), &j, "long");
    EXPECT_EQ(std::string(c.name), long_name.substr(0, 127));
    EXPECT_EQ(c.messageNumber, RegisterChannelMessage(long_name.c_str()));
    EXPECT_NE(c.messageNumber, RegisterChannelMessage(c.name));
}

TEST(Channels, AChannelWithoutNameIsNeverDispatchedTo) {
    std::vector<std::string> j;
    Channel listed("VelTestListed", &j, "listed");
    {
        Channel empty("", &j, "empty");
        Channel none(nullptr, &j, "none");
        EXPECT_EQ(empty.IsListed(), 0);
        EXPECT_EQ(none.IsListed(), 0);
        EXPECT_EQ(APPLI_MSG::NewestChannel, &listed);
        EXPECT_EQ(listed.newerChannel, nullptr);
        MessageRecord r = Record(0);
        EXPECT_EQ(DispatchChannels(&r), 0);
    }  // their teardown leaves the list alone
    EXPECT_EQ(APPLI_MSG::NewestChannel, &listed);
    EXPECT_EQ(APPLI_MSG::OldestChannel, &listed);
    EXPECT_EQ(listed.IsListed(), 1);
}

TEST(LogChannel, HandsTextsToTheLogRouting) {
    Receiver archive(69);
    Receiver all(0);
    HWND_REC_LOG channel;
    EXPECT_STREQ(channel.name, "VelPassLogMess");
    EXPECT_EQ(channel.messageNumber, RegisterChannelMessage("VelPassLogMess"));

    // Identifiers are the low 16 bits of wParam.
    const char text[] = "Checkword erreur";
    MessageRecord r = Record(channel.messageNumber, 0x10045, reinterpret_cast<MessageLParam>(text));
    r.result = 7;
    EXPECT_EQ(DispatchChannels(&r), 1);
    EXPECT_EQ(archive.texts, (std::vector<std::string>{"Checkword erreur"}));
    EXPECT_EQ(all.texts, (std::vector<std::string>{"Checkword erreur"}));
    EXPECT_EQ(r.result, 7);  // left unchanged

    // No text: the (empty) default text.
    MessageRecord empty = Record(channel.messageNumber, 69, 0);
    EXPECT_EQ(DispatchChannels(&empty), 1);
    EXPECT_EQ(archive.texts.back(), "");
    EXPECT_EQ(all.texts.size(), 2u);
}

}  // namespace
