#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/CtArchive.h"
#include "launcher/IstPlan.h"
#include "tests/container/ArchiveBuilder.h"
#include "tools/velpack/payload/PayloadWalk.h"
#include "tools/velpack/payload/PayloadWriter.h"

namespace {

using testarchive::Bytes;

PayloadItem Item(const std::string& name, const Bytes& content, const std::string& info = "i") {
    PayloadItem item;
    item.name = name;
    item.info = info;
    item.content = content;
    return item;
}

Bytes Repetitive(size_t n) {
    Bytes b;
    while (b.size() < n) {
        const std::string line = "line " + std::to_string(b.size() % 97) + " of a text\r\n";
        b.insert(b.end(), line.begin(), line.end());
    }
    b.resize(n);
    return b;
}

Bytes Noise(size_t n) {
    Bytes b(n);
    uint32_t x = 12345;
    for (uint8_t& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 23);
    }
    return b;
}

// A record's content as StreamRecord hands it on, through small blocks so
// that it comes in many pieces; what went wrong, or empty.
std::string Decode(const RecordReport& r, Bytes* content) {
    struct Collect final : CtSink {
        int32_t Write(const uint8_t* data, int32_t length) override {
            bytes->insert(bytes->end(), data, data + length);
            return 1;
        }
        Bytes* bytes;
    } sink;
    content->clear();
    sink.bytes = content;
    CtContentDecoder decoder(1000);
    return StreamRecord(r, &decoder, &sink);
}

std::vector<RecordReport> Walk(const Bytes& image) {
    return WalkPayload(CtArchive(image.data(), static_cast<int32_t>(image.size())));
}

TEST(PayloadWriter, EveryEntryReadsBackThroughTheLaunchersReader) {
    const std::vector<PayloadItem> items = {
        Item("text.txt", Repetitive(50000)), Item("noise.bin", Noise(3000)),
        Item("empty", {}), Item("caf\xE9.ist", testarchive::Text("Install=Caf\xE9\r\n")),
        Item("AutoInst_go.exe", Repetitive(700))};
    for (int mode = 0; mode < 8; ++mode) {
        PayloadOptions options;
        options.stored = (mode & 1) != 0;
        options.plainNames = (mode & 2) != 0;
        options.codec = (mode & 4) != 0 ? PayloadCodec::kZstd : PayloadCodec::kVelmar;
        const int32_t codec = (mode & 4) != 0 ? kCtContentZstd : kCtContentStages;
        Bytes image;
        std::string error;
        ASSERT_TRUE(BuildPayload(items, options, &image, &error)) << error;
        const std::vector<RecordReport> records = Walk(image);
        ASSERT_EQ(records.size(), items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            const RecordReport& r = records[i];
            EXPECT_TRUE(r.Readable()) << i;
            EXPECT_EQ(r.name, items[i].name);
            EXPECT_EQ(r.info, items[i].info);
            Bytes content;
            EXPECT_EQ(Decode(r, &content), "") << i;
            EXPECT_EQ(content, items[i].content) << i;
            // Names complemented unless asked otherwise; compressed only
            // where that is smaller.
            EXPECT_EQ(r.entry.method & 1, options.plainNames ? 0 : 1) << i;
            const int32_t kind = CtContentOf(r.entry.method);
            EXPECT_TRUE(kind == kCtContentStored || (kind == codec && !options.stored)) << i;
            EXPECT_TRUE(kind == kCtContentStored || r.entry.ContentLength() < r.entry.unpackedSize)
                << i;
        }
        if (!options.stored) {
            EXPECT_EQ(CtContentOf(records[0].entry.method), codec);  // text compresses
            EXPECT_EQ(CtContentOf(records[1].entry.method), kCtContentStored);  // noise does not
            EXPECT_EQ(CtContentOf(records[2].entry.method), kCtContentStored);  // empty
        }
        IST_PLAN plan;
        plan.DrawUp(CtArchive(image.data(), static_cast<int32_t>(image.size())));
        EXPECT_STREQ(plan.title, "Caf\xE9");
        EXPECT_STREQ(plan.program, "AutoInst_go.exe");
    }
}

TEST(PayloadWriter, SameItemsGiveTheSameBytes) {
    std::vector<PayloadItem> items;
    for (int i = 0; i < 12; ++i) items.push_back(Item("f" + std::to_string(i), Repetitive(1000 * i + 1)));
    Bytes first, second;
    std::string error;
    ASSERT_TRUE(BuildPayload(items, PayloadOptions(), &first, &error));
    ASSERT_TRUE(BuildPayload(items, PayloadOptions(), &second, &error));
    EXPECT_EQ(first, second);
    EXPECT_EQ(testarchive::GetWord(first, 0), 4u);
}

TEST(PayloadWalk, GoesOnPastDamageWhileTheLengthsAllow) {
    Bytes bad = testarchive::Stored("b", "bbbb");
    bad[4] ^= 0x40;  // checkword
    Bytes parts = testarchive::Stored("c", "cccc");
    testarchive::PutWord(parts, 12, 500);
    Bytes odd = testarchive::Record(9, "d", "", testarchive::Text("dd"), 2);
    Bytes sizes = testarchive::Record(0, "e", "", testarchive::Text("eee"), 4);
    Bytes broken = testarchive::Record(2, "f", "", {0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01}, 3);
    Bytes shortfall = testarchive::Record(2, "g", "", {0x00, 'x'}, 5);
    Bytes negative = testarchive::Record(0, "h", "", {}, -4);
    Bytes last = testarchive::Stored("i", "ii");
    testarchive::PutWord(last, 0, 1000);
    const Bytes image = testarchive::Image({testarchive::Stored("a", "aaaa"), bad, parts, odd, sizes,
                                            broken, shortfall, negative, last});
    const std::vector<RecordReport> r = Walk(image);
    ASSERT_EQ(r.size(), 9u);
    Bytes content;
    const std::string expected[] = {
        "",
        "checkword wrong",
        "name and information lengths (500, 0) do not fit the record of 29 bytes",
        "unknown method 9",
        "stored content of 3 bytes, but an unpacked size of 4",
        "decoding failed, error code 61",
        "decoded 1 bytes, but an unpacked size of 5",
        "unpacked size -4 is out of range",
        "record length 1000 does not fit the 27 bytes left in the payload; the entries behind it "
        "cannot be found",
    };
    for (size_t i = 0; i < r.size(); ++i) EXPECT_EQ(Decode(r[i], &content), expected[i]) << i;
    EXPECT_EQ(FirstDamaged(r), 1u);
    EXPECT_EQ(r[8].state, CtArchive::kRecordBadLength);
}

TEST(PayloadWalk, NamesAndTimesAsTheLauncherReadsThem) {
    const std::string longName(70, 'n');
    const Bytes image = testarchive::Image(
        {testarchive::Stored(longName, "x", "velpack\r\nDWCL=1\r\nDWCH=2"),
         testarchive::Stored("notime", "y", "DWCL=5 on the first line"),
         testarchive::Stored(std::string("cut\0here", 8), "z")});
    const std::vector<RecordReport> r = Walk(image);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].name, longName.substr(0, 63));
    EXPECT_TRUE(r[0].hasTime);
    EXPECT_EQ(r[0].fileTime, (uint64_t{2} << 32) | 1);
    EXPECT_FALSE(r[1].hasTime);
    EXPECT_EQ(r[2].name, "cut");
}

}  // namespace
