#include "archive/CtArchive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/CtCompress.h"
#include "archive/CtZstdCompress.h"
#include "archive/CtZstdDecoder.h"
#include "tests/container/ArchiveBuilder.h"

namespace {

using namespace testarchive;

const std::string kCheckwordLog[] = {"69:Checkword erreur", "0:Checkword erreur"};

// A compressed entry (method 2).
Bytes Packed(const std::string& name, const std::string& content) {
    const Bytes plain = Text(content);
    return Record(2, name, "", CtCompress(plain.data(), plain.size()),
                  static_cast<int32_t>(plain.size()));
}

// A Zstandard entry (method 4).
Bytes Zstd(const std::string& content) {
    const Bytes plain = Text(content);
    Bytes frame;
    std::string error;
    EXPECT_TRUE(CtZstdCompress(plain.data(), plain.size(), CtLevel::kDefault, &frame, &error));
    return frame;
}

CtArchive View(const Bytes& image) {
    return CtArchive(image.data(), static_cast<int32_t>(image.size()));
}

// Entry index's name (capacity 64) and unpacked size, or "-" when the entry
// is not there.
std::string NameAt(const Bytes& image, int32_t index) {
    char name[64];
    int32_t size = 0;
    if (View(image).GetEntry(index, name, 64, nullptr, 0, nullptr, &size) == 0) return "-";
    return name;
}

int32_t CountEntries(const Bytes& image) {
    int32_t n = 0;
    while (NameAt(image, n) != "-") ++n;
    return n;
}

TEST(CtEntryCheckword, WorkedExamples) {
    Bytes empty = Record(0, "", "", {}, 0);
    EXPECT_EQ(CtEntry(empty.data(), 24).Checkword(), 0xFFFFFFE7u);
    Bytes abc = Record(0, "", "", Text("abc"), 3);
    EXPECT_EQ(CtEntry(abc.data(), 27).Checkword(), 0xFFFFFD96u);
}

TEST(CtEntryCheckword, WeightsRepeatEverySixteenBytes) {
    Bytes first(17, 0), seventeenth(17, 0), second(17, 0);
    first[0] = 1;
    seventeenth[16] = 1;
    second[1] = 1;
    auto check = [](const Bytes& content) {
        Bytes r = Record(0, "", "", content, 17);
        return CtEntry(r.data(), static_cast<int32_t>(r.size())).Checkword();
    };
    EXPECT_EQ(check(first), check(seventeenth));
    EXPECT_NE(check(first), check(second));
    // Longer records: the blockwise sum, on the word path and on the vector
    // path (forced, whatever the processor's), agrees with the plain
    // definition, whole blocks or not, and with bytes of 255, whose products
    // take every bit of the vector lanes.
    for (const size_t n : {15, 16, 31, 1000}) {
        for (const int fill : {-1, 255}) {
            Bytes big(n);
            for (size_t i = 0; i < n; ++i) {
                big[i] = static_cast<uint8_t>(fill >= 0 ? fill : static_cast<int>(i * 37 + 11));
            }
            Bytes r = Record(3, "name.bin", "info", big, 5);
            const CtEntry entry(r.data(), static_cast<int32_t>(r.size()));
            EXPECT_EQ(entry.Checkword(CtWide::kWords), ReferenceCheckword(r)) << n;
            EXPECT_EQ(entry.Checkword(CtWide::kVectors), ReferenceCheckword(r)) << n;
            EXPECT_EQ(entry.Checkword(), ReferenceCheckword(r)) << n;
        }
    }
}

TEST(CtArchiveWalk, EntriesInOrderAndTheEndIsSilent) {
    std::vector<Bytes> records;
    for (int i = 0; i < 12; ++i) records.push_back(Stored("f" + std::to_string(i), "x"));
    Bytes image = Image(records);  // the last record ends at the image's end
    LogCapture log;
    EXPECT_EQ(CountEntries(image), 12);
    EXPECT_EQ(NameAt(image, 0), "f0");
    EXPECT_EQ(NameAt(image, 11), "f11");
    EXPECT_EQ(NameAt(image, 12), "-");
    EXPECT_EQ(NameAt(image, -1), "-");
    EXPECT_TRUE(log.texts.empty());
}

TEST(CtArchiveWalk, FirstOffsetAndPaddingBeforeIt) {
    Bytes image = Image({Stored("a", "1"), Stored("b", "2")}, 16);
    EXPECT_EQ(CountEntries(image), 2);
    // A first offset that leaves no room for a header: no entries.
    Bytes tight = Image({}, 4);
    tight.resize(4 + 23);
    EXPECT_EQ(CountEntries(tight), 0);
    Bytes beyond = Image({Stored("a", "1")});
    PutWord(beyond, 0, static_cast<uint32_t>(beyond.size()) - 23);
    EXPECT_EQ(CountEntries(beyond), 0);
}

TEST(CtArchiveWalk, ZeroLengthRecordEndsTheArchive) {
    Bytes image = Image({Stored("a", "1")});
    const size_t end = image.size();
    image.resize(end + 24, 0);  // a zero header
    Bytes more = Stored("b", "2");
    image.insert(image.end(), more.begin(), more.end());
    EXPECT_EQ(CountEntries(image), 1);
}

TEST(CtArchiveWalk, TinyImagesAndNegativeOffsetHaveNoEntries) {
    for (size_t n = 0; n < 4; ++n) {
        Bytes image(n, 0);
        EXPECT_EQ(View(image).FirstRecord(), -1) << n;
        EXPECT_EQ(CountEntries(image), 0) << n;
    }
    Bytes image = Image({Stored("a", "1")});
    PutWord(image, 0, 0x80000004u);
    EXPECT_EQ(CountEntries(image), 0);
    EXPECT_EQ(CtArchive(nullptr, 100).GetEntry(0, nullptr, 0, nullptr, 0, nullptr, nullptr),
              0);
}

// Records whose lengths do not fit the image are missing entries: the walk
// ends there without reading outside the image, and silently.
TEST(CtArchiveWalk, RecordsThatDoNotFitEndTheArchive) {
    struct Damage {
        const char* what;
        size_t field;
        uint32_t value;
    };
    const Bytes second = Stored("second", "content", "info");
    const uint32_t secondLength = static_cast<uint32_t>(second.size());
    const Damage damages[] = {
        {"negative record length", 0, 0xFFFFFFF0u},
        {"record length below the header", 0, 23},
        {"record length one past the image end", 0, secondLength + 1},
        {"record length far past the image end", 0, 0x7FFFFFFFu},
        {"record shorter than header, name and info", 0, 24 + 6 + 4 - 1},
        {"negative name length", 12, 0xFFFFFFFFu},
        {"negative info length", 16, 0x80000000u},
        {"name length overruns the record", 12, secondLength},
        {"info length overruns the record", 16, secondLength - 24 - 6 + 1},
        {"name and info lengths wrap", 12, 0x7FFFFFFFu},
    };
    for (const Damage& d : damages) {
        Bytes bad = second;
        PutWord(bad, d.field, d.value);
        PutWord(bad, 4, ReferenceCheckword(bad));  // only the lengths are wrong
        std::vector<Bytes> records = {Stored("first", "1"), bad, Stored("third", "3")};
        Bytes image = Image(records);
        // The image ends right behind the damaged record, so that a length
        // running past it is caught by the sanitizers if it is followed.
        if (d.field == 0 && d.value > secondLength) image.resize(image.size() - records[2].size());
        LogCapture log;
        EXPECT_EQ(NameAt(image, 0), "first") << d.what;
        EXPECT_EQ(NameAt(image, 1), "-") << d.what;
        EXPECT_EQ(NameAt(image, 2), "-") << d.what;
        EXPECT_TRUE(log.texts.empty()) << d.what;
    }
}

TEST(CtArchiveWalk, RecordStatesForToolsThatWalkPastDamage) {
    Bytes parts = Stored("b", "2");
    PutWord(parts, 12, 1000);
    Bytes image = Image({Stored("a", "1"), parts, Stored("c", "3")});
    CtArchive archive = View(image);
    CtEntry e;
    int32_t offset = archive.FirstRecord();
    EXPECT_EQ(archive.RecordAt(offset, &e), CtArchive::kRecordSound);
    offset += e.length;
    EXPECT_EQ(archive.RecordAt(offset, &e), CtArchive::kRecordBadParts);
    offset += e.length;
    EXPECT_EQ(archive.RecordAt(offset, &e), CtArchive::kRecordSound);
    offset += e.length;
    EXPECT_EQ(archive.RecordAt(offset, &e), CtArchive::kRecordEnd);
    PutWord(image, 4 + 0, 20);
    EXPECT_EQ(archive.RecordAt(4, &e), CtArchive::kRecordBadLength);
    EXPECT_EQ(archive.RecordAt(-1, &e), CtArchive::kRecordEnd);
    EXPECT_EQ(archive.RecordAt(INT32_MAX, &e), CtArchive::kRecordEnd);
}

// The launcher's check before it writes anything: the first damaged record
// anywhere in the image, whatever comes before or behind it.
TEST(CtArchiveWalk, FirstDamageFindsAnyDamagedRecordWithoutDecoding) {
    EXPECT_EQ(View(Image({})).FirstDamage(nullptr), kCtSound);
    const Bytes sound = Image({Stored("a", "1"), Packed("b", "bbbbbbbbbbbbbbbbbbbbbbbb"), Stored("c", "3")});
    EXPECT_EQ(View(sound).FirstDamage(nullptr), kCtSound);

    Bytes length = Stored("x", "x");
    PutWord(length, 0, 1000);
    Bytes parts = Stored("x", "x");
    PutWord(parts, 12, 1000);
    Bytes checkword = Stored("x", "x");
    checkword[4] ^= 1;
    // Fields the checkword covers, with the checkword made right again.
    const Bytes method = Record(6, "x", "", Text("x"), 1);
    const Bytes unpacked = Record(0, "x", "", Text("x"), -1);
    const Bytes stored = Record(0, "x", "", Text("xy"), 1);
    // Not found without decoding: a content that does not decode.
    const Bytes undecodable = Record(2, "x", "", {0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01}, 3);
    const struct {
        Bytes record;
        int32_t damage;
    } cases[] = {{length, kCtDamageLength},       {parts, kCtDamageParts},
                 {checkword, kCtDamageCheckword}, {method, kCtDamageMethod},
                 {unpacked, kCtDamageUnpacked},   {stored, kCtDamageStoredSize},
                 {undecodable, kCtSound}};
    for (const auto& c : cases) {
        const Bytes image = Image({Stored("a", "1"), Stored("b", "2"), c.record, Stored("d", "4")});
        int32_t index = -1;
        EXPECT_EQ(View(image).FirstDamage(&index), c.damage) << c.damage;
        EXPECT_EQ(index, c.damage != kCtSound ? 2 : -1) << c.damage;
    }
}

TEST(CtArchiveNames, CutToCapacityAndAlwaysTerminated) {
    const std::string seventy(70, 'n');
    Bytes image = Image({Stored(seventy, "x", "information text")});
    CtArchive archive = View(image);
    char name[80];
    std::memset(name, '#', sizeof name);
    int32_t size = 0;
    ASSERT_EQ(archive.GetEntry(0, name, 64, nullptr, 0, nullptr, &size), 1);
    EXPECT_EQ(std::string(name), seventy.substr(0, 63));
    EXPECT_EQ(name[64], '#');
    ASSERT_EQ(archive.GetEntry(0, name, 1, nullptr, 0, nullptr, &size), 1);
    EXPECT_EQ(name[0], 0);
    EXPECT_EQ(name[1], 'n');  // left from before: only the terminator written
    // No capacity at all: nothing written.
    name[0] = '#';
    ASSERT_EQ(archive.GetEntry(0, name, 0, nullptr, 0, nullptr, &size), 1);
    EXPECT_EQ(name[0], '#');
    char info[8];
    ASSERT_EQ(archive.GetEntry(0, nullptr, 0, info, 8, nullptr, nullptr), 1);
    EXPECT_EQ(std::string(info), "informa");
}

TEST(CtArchiveNames, ZeroBytesInsideANameAreCopied) {
    Bytes image = Image({Stored(std::string("ab\0cd", 5), "x")});
    char name[64];
    std::memset(name, '#', sizeof name);
    ASSERT_EQ(View(image).GetEntry(0, name, 64, nullptr, 0, nullptr, nullptr), 1);
    EXPECT_EQ(std::string(name, 6), std::string("ab\0cd\0", 6));
}

TEST(CtArchiveMethods, OddMethodsComplementNameInfoAndStoredContent) {
    Bytes image = Image({Stored("plain.txt", "hello", "i0", 0),
                         Stored("flipped.txt", "hello", "i1", 1),
                         Record(3, "packed.txt", "i3", {0x00, 'h', 'i'}, 2),
                         Record(2, "packed2.txt", "i2", {0x00, 'h', 'i'}, 2)});
    CtArchive archive = View(image);
    const char* names[] = {"plain.txt", "flipped.txt", "packed.txt", "packed2.txt"};
    const char* infos[] = {"i0", "i1", "i3", "i2"};
    const char* contents[] = {"hello", "hello", "hi", "hi"};
    for (int32_t i = 0; i < 4; ++i) {
        char name[64], info[128];
        uint8_t content[300] = {0};
        int32_t length = 5;
        ASSERT_EQ(archive.GetEntry(i, name, 64, info, 128, content, &length), 1) << i;
        EXPECT_STREQ(name, names[i]);
        EXPECT_STREQ(info, infos[i]);
        EXPECT_STREQ(reinterpret_cast<char*>(content), contents[i]);
        EXPECT_EQ(length, i < 2 ? 5 : 2);
    }
    // The raw bytes of a method 1 name are the complement of the name.
    const size_t second = 4 + (24 + 9 + 2 + 5);
    EXPECT_EQ(image[second + 24], static_cast<uint8_t>(~'f'));
}

TEST(CtArchiveMethods, UnknownMethodLeavesContentUnreadButTheEntryThere) {
    Bytes image = Image({Record(7, "odd", "", Text("data"), 4), Record(6, "even", "", Text("data"), 4)});
    CtArchive archive = View(image);
    uint8_t content[16];
    std::memset(content, '#', sizeof content);
    char name[64];
    int32_t length = 16;
    ASSERT_EQ(archive.GetEntry(0, name, 64, nullptr, 0, content, &length), 1);
    EXPECT_STREQ(name, "odd");  // bit 0 still says complemented
    EXPECT_EQ(length, 4);
    EXPECT_EQ(content[0], '#');
    length = 16;
    ASSERT_EQ(archive.GetEntry(1, name, 64, nullptr, 0, content, &length), 1);
    EXPECT_STREQ(name, "even");
    EXPECT_EQ(content[0], '#');
}

TEST(CtArchiveChecks, EveryCoveredFieldIsGuarded) {
    const Bytes good = Stored("name.txt", "the content", "info text");
    struct Change {
        const char* what;
        size_t at;
        bool word;
        uint32_t value;
    };
    const Change changes[] = {
        {"name byte", 24 + 2, false, 'X'},
        {"info byte", 24 + 8 + 1, false, 'X'},
        {"content byte", 24 + 8 + 9 + 4, false, 'X'},
        {"method", 8, true, 2},
        {"name length alone", 12, true, 7},
        {"info length alone", 16, true, 8},
        {"checkword", 4, true, 0x12345678u},
    };
    for (const Change& c : changes) {
        Bytes r = good;
        if (c.word) {
            PutWord(r, c.at, c.value);
        } else {
            r[c.at] = static_cast<uint8_t>(c.value);
        }
        Bytes image = Image({Stored("before", "0"), r, Stored("after", "2")});
        LogCapture log;
        char name[64] = "untouched";
        int32_t size = -5;
        EXPECT_EQ(View(image).GetEntry(1, name, 64, nullptr, 0, nullptr, &size), 0) << c.what;
        EXPECT_STREQ(name, "untouched") << c.what;
        EXPECT_EQ(size, -5) << c.what;
        EXPECT_EQ(log.texts, std::vector<std::string>(kCheckwordLog, kCheckwordLog + 2))
            << c.what;
        // Only the entry asked for is verified: the walk passes the damaged
        // record by its length (the callers stop at it themselves).
        EXPECT_EQ(NameAt(image, 2), "after") << c.what;
    }
}

TEST(CtArchiveChecks, UnpackedSizeAndBoundaryAreNotCovered) {
    Bytes r = Stored("name.txt", "content", "info");
    PutWord(r, 20, 3);
    Bytes shifted = Stored("name.txt", "content", "info");
    PutWord(shifted, 12, 8 + 2);
    PutWord(shifted, 16, 4 - 2);
    LogCapture log;
    int32_t size = 0;
    Bytes image = Image({r});
    EXPECT_EQ(View(image).GetEntry(0, nullptr, 0, nullptr, 0, nullptr, &size), 1);
    EXPECT_EQ(size, 3);
    char name[64];
    image = Image({shifted});
    EXPECT_EQ(View(image).GetEntry(0, name, 64, nullptr, 0, nullptr, &size), 1);
    EXPECT_STREQ(name, "name.txtin");
    EXPECT_TRUE(log.texts.empty());
}

TEST(CtArchiveContent, TooSmallABufferIsLeftUntouched) {
    Bytes image = Image({Stored("a", "abcdef")});
    uint8_t content[16];
    std::memset(content, '#', sizeof content);
    int32_t length = 5;
    EXPECT_EQ(View(image).GetEntry(0, nullptr, 0, nullptr, 0, content, &length), 1);
    EXPECT_EQ(length, 6);
    EXPECT_EQ(content[0], '#');
}

TEST(CtArchiveContent, NullLengthDeliversNeitherContentNorSize) {
    Bytes image = Image({Stored("a", "abcdef")});
    uint8_t content[16];
    std::memset(content, '#', sizeof content);
    char name[64];
    EXPECT_EQ(View(image).GetEntry(0, name, 64, nullptr, 0, content, nullptr), 1);
    EXPECT_STREQ(name, "a");
    EXPECT_EQ(content[0], '#');
}

// A stored content may be longer than its unpacked size says: the copy
// stops at the capacity and the terminator lands at buffer[capacity].
TEST(CtArchiveContent, StoredWritesAtMostCapacityPlusTerminator) {
    Bytes image = Image({Record(0, "a", "", Text("0123456789"), 4)});
    for (int32_t capacity : {4, 6, 10, 12}) {
        uint8_t content[16];
        std::memset(content, '#', sizeof content);
        int32_t length = capacity;
        ASSERT_EQ(View(image).GetEntry(0, nullptr, 0, nullptr, 0, content, &length), 1);
        const int32_t copied = capacity < 10 ? capacity : 10;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(content), copied),
                  std::string("0123456789").substr(0, copied));
        EXPECT_EQ(content[copied], 0) << capacity;
        EXPECT_EQ(content[copied + 1], '#') << capacity;
    }
    // Shorter than its unpacked size: what is there, then the terminator.
    Bytes shorter = Image({Record(1, "a", "", {static_cast<uint8_t>(~'x')}, 6)});
    uint8_t content[16];
    std::memset(content, '#', sizeof content);
    int32_t length = 6;
    ASSERT_EQ(View(shorter).GetEntry(0, nullptr, 0, nullptr, 0, content, &length), 1);
    EXPECT_EQ(content[0], 'x');
    EXPECT_EQ(content[1], 0);
    EXPECT_EQ(content[2], '#');
}

// The unpacked size is not covered by the checkword; sizes that no caller
// can hold a block for make the content unreadable, not a wild write.
TEST(CtArchiveContent, UnreadableUnpackedSizes) {
    for (int32_t unpacked : {-1, INT32_MIN, INT32_MAX - 9, INT32_MAX}) {
        Bytes image = Image({Record(0, "a", "", Text("abc"), unpacked)});
        uint8_t content[16];
        std::memset(content, '#', sizeof content);
        int32_t length = INT32_MAX;  // a caller that claims every size fits
        EXPECT_EQ(View(image).GetEntry(0, nullptr, 0, nullptr, 0, content, &length), 1);
        EXPECT_EQ(length, unpacked);
        EXPECT_EQ(content[0], '#') << unpacked;
        CtEntry e(image.data() + 4, static_cast<int32_t>(image.size()) - 4);
        length = INT32_MAX;
        EXPECT_EQ(e.ReadContent(content, length), 0) << unpacked;
    }
    // The largest readable size: read, though the content is not whole.
    Bytes image = Image({Record(0, "a", "", Text("abc"), INT32_MAX - 10)});
    CtEntry e(image.data() + 4, static_cast<int32_t>(image.size()) - 4);
    uint8_t content[16] = {0};
    EXPECT_EQ(e.ReadContent(content, INT32_MAX - 10), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(content), "abc");
    EXPECT_EQ(e.Damage(), kCtDamageStoredSize);
}

TEST(CtArchiveContent, CompressedContentGoesThroughItsDecoder) {
    std::string text;
    for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i % 7) + "\r\n";
    const Bytes plain = Text(text);
    const Bytes packed = CtCompress(plain.data(), plain.size());
    const Bytes frame = Zstd(text);
    ASSERT_LT(packed.size(), plain.size());
    const int32_t n = static_cast<int32_t>(plain.size());
    Bytes image = Image({Record(2, "t2", "", packed, n), Record(3, "t3", "", packed, n),
                         Record(4, "t4", "", frame, n), Record(5, "t5", "", frame, n)});
    for (int32_t i = 0; i < 4; ++i) {
        Bytes content(plain.size() + 10, '#');
        int32_t length = n;
        ASSERT_EQ(View(image).GetEntry(i, nullptr, 0, nullptr, 0, content.data(), &length), 1);
        EXPECT_EQ(Bytes(content.begin(), content.begin() + n), plain);
        EXPECT_EQ(content[n], '#');  // no terminator behind a decoded content
    }
}

TEST(CtArchiveContent, ReadContentAnswersWhetherTheContentIsWhole) {
    const std::string text(300, 'z');
    const Bytes broken = {0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01};
    // The frame of 300 bytes read as one of 301: it declares its size.
    const Bytes image = Image({Stored("s", "abc"), Packed("p", text), Record(2, "bad", "", broken, 3),
                               Record(0, "short", "", Text("ab"), 3), Record(4, "z", "", Zstd(text), 300),
                               Record(4, "zbad", "", Zstd(text), 301)});
    const CtArchive archive = View(image);
    auto read = [&](int32_t index, int32_t capacity) {
        CtEntry e;
        Bytes content(310, '#');
        if (!archive.EntryAt(index, &e)) return -1;
        return e.ReadContent(content.data(), capacity);
    };
    EXPECT_EQ(read(0, 3), 1);
    EXPECT_EQ(read(1, 300), 1);
    LogCapture log;
    EXPECT_EQ(read(2, 3), 0);    // fails to decode
    EXPECT_EQ(read(3, 3), 0);    // shorter than its size
    EXPECT_EQ(read(1, 299), 0);  // no room
    EXPECT_EQ(read(4, 300), 1);
    EXPECT_EQ(read(5, 301), 0);  // another size than its frame's
    EXPECT_EQ(read(6, 3), -1);   // no such entry
}

TEST(CtArchiveContent, DecodingFailureIsLoggedAndTheEntryStillCounts) {
    // Back-reference stage, escape 0xFE: a reference before anything was
    // produced (code 61). A Zstandard frame whose checksum is wrong: the
    // library's code 22, after the whole content was decoded.
    Bytes broken = {0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01};
    Bytes frame = Zstd("abc");
    frame.back() ^= 1;
    Bytes image = Image({Record(2, "bad", "", broken, 3), Record(4, "zbad", "", frame, 3)});
    for (int32_t i = 0; i < 2; ++i) {
        LogCapture log;
        uint8_t content[16];
        std::memset(content, '#', sizeof content);
        int32_t length = 3;
        EXPECT_EQ(View(image).GetEntry(i, nullptr, 0, nullptr, 0, content, &length), 1);
        EXPECT_EQ(length, 3);
        EXPECT_EQ(content[0], '#');
        ASSERT_EQ(log.texts.size(), 2u);
        EXPECT_EQ(log.texts[0], std::string("69:Erreur en d\xE9" "compr\xE9" "ssion code ") +
                                    (i == 0 ? "61" : std::to_string(kCtErrorZstd + 22)));
    }
}

}  // namespace
