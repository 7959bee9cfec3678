#include "launcher/IstPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/CtArchive.h"
#include "archive/CtCompress.h"
#include "launcher/EntryName.h"
#include "tests/container/ArchiveBuilder.h"
#include "tests/container/EntryNameCases.h"

namespace {

using namespace testarchive;

IST_PLAN Plan(const std::vector<Bytes>& records) {
    Bytes image = Image(records);
    IST_PLAN plan;
    plan.DrawUp(CtArchive(image.data(), static_cast<int32_t>(image.size())));
    return plan;
}

// A description entry whose content is compressed (method 3).
Bytes PackedDescription(const std::string& name, const std::string& content) {
    const Bytes plain = Text(content);
    return Record(3, name, "", CtCompress(plain.data(), plain.size()),
                  static_cast<int32_t>(plain.size()));
}

TEST(IstPlan, EmptyArchiveOrDamagedFirstEntryGivesAnEmptyPlan) {
    IST_PLAN plan = Plan({});
    EXPECT_STREQ(plan.title, "");
    EXPECT_STREQ(plan.program, "");
    Bytes damaged = Stored("AutoInst_a.exe", "x");
    damaged[30] ^= 1;
    LogCapture log;
    plan = Plan({damaged, Stored("setup.ist", "Install=Title")});
    EXPECT_STREQ(plan.title, "");
    EXPECT_STREQ(plan.program, "");
    EXPECT_EQ(log.texts.size(), 2u);
}

TEST(IstPlan, ProgramNameRules) {
    struct Case {
        std::vector<std::string> names;
        const char* program;
    };
    const Case cases[] = {
        {{"AutoInst_a.exe", "AutoInst_b.exe"}, "AutoInst_b.exe"},  // the last one wins
        {{"AutoInst_b.exe", "readme.txt"}, "AutoInst_b.exe"},
        {{"AutoInst_readme.txt"}, ""},      // no ".exe"
        {{"Setup.exe"}, ""},                // no prefix
        {{"autoinst_x.exe"}, ""},           // the prefix is case-sensitive
        {{"AUTOINST_x.exe"}, ""},
        {{"x_AutoInst_x.exe"}, ""},         // and must open the name
        {{"AutoInst_SETUP.EXE"}, "AutoInst_SETUP.EXE"},  // the extension is not
        {{"AutoInst_x.exe.bak"}, "AutoInst_x.exe.bak"},  // and stands anywhere
        {{"AutoInst_"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<Bytes> records;
        for (const std::string& n : c.names) records.push_back(Stored(n, "MZ"));
        IST_PLAN plan = Plan(records);
        EXPECT_STREQ(plan.program, c.program) << c.names[0];
        EXPECT_STREQ(plan.title, "") << c.names[0];
    }
}

TEST(IstPlan, TitleValueRules) {
    struct Case {
        const char* content;
        const char* title;
    };
    const Case cases[] = {
        {"[Setup]\r\nInstall=Mon Produit 2.0\r\nOther=1\r\n", "Mon Produit 2.0"},
        {"[Setup]\r\nInstall=Last line, no break", "Last line, no break"},
        {"Install=Two words\tand a tab", "Two words"},
        {"INSTALL=Upper key\r\n", "Upper key"},
        {"install=lower key\n", "lower key"},
        {"Install=Caf\xE9 cr\xE8me \xC0 la carte\r\n", "Caf\xE9 cr\xE8me \xC0 la carte"},
        {"Install=First\r\nInstall=Second\r\n", "First"},
        {"No key here\r\n", ""},
        {"Install=\r\n", ""},
        {"Install=\x1F" "after a control byte", ""},
        {"Install= leading blank", " leading blank"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(Plan({Stored("setup.ist", c.content)}).title, c.title) << c.content;
        EXPECT_STREQ(Plan({PackedDescription("setup.ist", c.content)}).title, c.title)
            << c.content;
    }
}

TEST(IstPlan, LongTitleIsCutTo127Bytes) {
    const std::string value(300, 'T');
    IST_PLAN plan = Plan({Stored("a.ist", "Install=" + value + "\r\n")});
    EXPECT_EQ(std::string(plan.title), value.substr(0, 127));
}

TEST(IstPlan, DescriptionNamesAreFoundAnywhereInAnyCase) {
    EXPECT_STREQ(Plan({Stored("SETUP.IST", "Install=A")}).title, "A");
    EXPECT_STREQ(Plan({Stored("x.ist.old", "Install=B")}).title, "B");
    EXPECT_STREQ(Plan({Stored("setup.txt", "Install=C")}).title, "");
}

TEST(IstPlan, FirstDescriptionWithAValueWins) {
    // Empty value or no key: the next description is decoded in its turn.
    IST_PLAN plan = Plan({Stored("a.ist", "Install=\r\n"), Stored("b.ist", "nothing"),
                          Stored("c.ist", "Install=Third"), Stored("d.ist", "Install=Fourth")});
    EXPECT_STREQ(plan.title, "Third");
    // Once a title is found, later descriptions are not decoded: this one
    // would log a decoding error (a reference before any byte, code 61).
    LogCapture log;
    Bytes broken = Record(2, "z.ist", "", {0x40, 0xFE, 0x61, 0xFE, 0x02, 0x01}, 3);
    plan = Plan({Stored("a.ist", "Install=First"), broken});
    EXPECT_STREQ(plan.title, "First");
    EXPECT_TRUE(log.texts.empty());
    // Decoded when no title is there yet: logged, no title, the scan goes on.
    plan = Plan({broken, Stored("b.ist", "Install=After")});
    EXPECT_EQ(log.texts.size(), 2u);
    EXPECT_STREQ(plan.title, "After");
}

TEST(IstPlan, OneEntryCanBeBothProgramAndDescription) {
    IST_PLAN plan = Plan({Stored("AutoInst_x.exe.ist", "Install=Both")});
    EXPECT_STREQ(plan.title, "Both");
    EXPECT_STREQ(plan.program, "AutoInst_x.exe.ist");
}

TEST(IstPlan, KeyIsSearchedWithinTheUnpackedSizeOnly) {
    // The stored bytes run on past the unpacked size; the key lies beyond it.
    Bytes r = Record(0, "a.ist", "", Text("abcInstall=Hidden"), 3);
    EXPECT_STREQ(Plan({r}).title, "");
    // A stored content shorter than its unpacked size: zeros behind it.
    Bytes shorter = Record(0, "a.ist", "", Text("Install=Short"), 40);
    EXPECT_STREQ(Plan({shorter}).title, "Short");
}

// A description whose size no block can be had for is passed over.
TEST(IstPlan, UnusableSizesArePassedOver) {
    for (int32_t unpacked : {-1, INT32_MAX - 9, INT32_MAX}) {
        Bytes r = Record(0, "a.ist", "", Text("Install=Never"), unpacked);
        IST_PLAN plan = Plan({r, Stored("b.ist", "Install=Next"), Stored("AutoInst_z.exe", "")});
        EXPECT_STREQ(plan.title, "Next") << unpacked;
        EXPECT_STREQ(plan.program, "AutoInst_z.exe") << unpacked;
    }
}

TEST(IstPlan, ScanStopsAtADamagedEntry) {
    Bytes damaged = Stored("data.bin", "payload");
    PutWord(damaged, 4, 0);
    LogCapture log;
    IST_PLAN plan = Plan({Stored("AutoInst_a.exe", ""), damaged, Stored("AutoInst_b.exe", ""),
                          Stored("setup.ist", "Install=Late")});
    EXPECT_STREQ(plan.program, "AutoInst_a.exe");
    EXPECT_STREQ(plan.title, "");
}

TEST(IstPlan, DrawingUpAgainStartsEmpty) {
    Bytes first = Image({Stored("AutoInst_a.exe", ""), Stored("s.ist", "Install=T")});
    Bytes second = Image({Stored("readme.txt", "")});
    IST_PLAN plan;
    plan.DrawUp(CtArchive(first.data(), static_cast<int32_t>(first.size())));
    EXPECT_STREQ(plan.title, "T");
    plan.DrawUp(CtArchive(second.data(), static_cast<int32_t>(second.size())));
    EXPECT_STREQ(plan.title, "");
    EXPECT_STREQ(plan.program, "");
}

TEST(EntryName, TheLauncherWritesNamesThatStayInsideItsFolder) {
    for (const EntryNameCase& c : kEntryNameCases) {
        EXPECT_EQ(EntryNameStaysInside(c.name), c.launcherWrites ? 1 : 0) << c.name;
    }
}

}  // namespace
