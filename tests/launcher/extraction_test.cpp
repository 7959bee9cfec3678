// The extraction into %TEMP%\tmp_vel, run directly (without its dialog) on
// archives built in memory, with TMP pointing at a folder of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/CtArchive.h"
#include "launcher/CtExtractDlg.h"
#include "tests/container/ArchiveBuilder.h"
#include "tests/launcher/LauncherTestSupport.h"

namespace {

// 2001-02-03 04:05:06 UTC and 2020-06-30 12:00:00 UTC as FILETIMEs.
const uint64_t kTime1 = 126253851060000000ull;
const uint64_t kTime2 = 132380208000000000ull;

struct Outcome {
    int32_t result;
    std::string folder;
    CtExtractReport report;
};

Outcome Extract(const TestPayload& payload) {
    CtArchive archive(payload.image.data(), static_cast<int32_t>(payload.image.size()));
    char folder[256];
    Outcome run;
    CtExtractDlg dialog(nullptr, folder, sizeof folder, &archive, &run.report);
    run.result = dialog.Extract();
    run.folder = folder;
    return run;
}

// The extraction stopped at the entry of that name.
void ExpectStoppedAt(const Outcome& run, const char* name) {
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.report.failure, CtExtractReport::kEntryFailed);
    EXPECT_STREQ(run.report.name, name);
}

std::string CurrentDirectory() {
    char d[MAX_PATH];
    GetCurrentDirectoryA(sizeof d, d);
    return d;
}

TEST(Extraction, FirstRunCreatesTheFolderAndWritesEveryEntryWithItsTime) {
    TempRoot root("first");
    TestPayload payload;
    payload.Stored("a.txt", "alpha", TimeInfo(kTime1))
        .Packed("b.txt", std::string(5000, 'b') + "end", TimeInfo(kTime2))
        .Stored("plain.bin", std::string("\0\x01\x02", 3), "no time here", 1);
    const uint64_t before = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }();

    const Outcome run = Extract(payload);
    ASSERT_EQ(run.result, 1);
    const std::string folder = root.Path("tmp_vel");
    // No trailing backslash, and the process now works in the folder.
    EXPECT_EQ(run.folder, folder);
    EXPECT_EQ(CurrentDirectory(), folder);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"a.txt", "b.txt", "plain.bin"}));
    EXPECT_EQ(ReadWholeFile(folder + "\\a.txt"), "alpha");
    EXPECT_EQ(ReadWholeFile(folder + "\\b.txt"), std::string(5000, 'b') + "end");
    EXPECT_EQ(ReadWholeFile(folder + "\\plain.bin"), std::string("\0\x01\x02", 3));
    EXPECT_EQ(LastWriteTime(folder + "\\a.txt"), kTime1);
    EXPECT_EQ(LastWriteTime(folder + "\\b.txt"), kTime2);
    // Without time keys the file keeps the time of its writing.
    EXPECT_GE(LastWriteTime(folder + "\\plain.bin") + 20000000, before);
}

TEST(Extraction, SecondRunEmptiesTheFolderButKeepsSubfoldersAndDotNames) {
    TempRoot root("second");
    const std::string folder = root.Path("tmp_vel");
    CreateDirectoryA(folder.c_str(), nullptr);
    // 45 files: passes of 20, 20 and 5. A few are read-only.
    for (int i = 0; i < 45; ++i) {
        const std::string path = folder + "\\old" + std::to_string(i) + ".dat";
        ASSERT_TRUE(WriteWholeFile(path, "old"));
        if (i % 9 == 0) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    CreateDirectoryA((folder + "\\keep").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(folder + "\\keep\\inner.txt", "inner"));
    // The listing passes over names that begin with a point.
    ASSERT_TRUE(WriteWholeFile(folder + "\\.dotted", "dot"));

    TestPayload payload;
    payload.Stored("new.txt", "new");
    ASSERT_EQ(Extract(payload).result, 1);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{".dotted", "keep\\", "new.txt"}));
    EXPECT_EQ(ReadWholeFile(folder + "\\keep\\inner.txt"), "inner");
}

TEST(Extraction, UndeletableFilesEndTheEmptyingAndOneInTheWayStopsTheWriting) {
    TempRoot root("locked");
    const std::string folder = root.Path("tmp_vel");
    CreateDirectoryA(folder.c_str(), nullptr);
    // Held open without sharing deletion: every deletion of them fails.
    std::vector<HANDLE> held;
    for (int i = 0; i < 20; ++i) {
        const std::string path = folder + "\\held" + std::to_string(i) + ".dat";
        held.push_back(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }
    TestPayload payload;
    payload.Stored("fresh.txt", "fresh").Stored("held3.dat", "replaced?").Stored("late.txt", "l");
    const Outcome run = Extract(payload);
    for (HANDLE h : held) CloseHandle(h);
    // The 20 failures reach the size of the next pass: the emptying stops
    // and the held files stay. The entries are written until one cannot
    // be (open without write sharing): the writing stops there.
    ExpectStoppedAt(run, "held3.dat");
    EXPECT_EQ(FolderNames(folder).size(), 21u);
    EXPECT_EQ(ReadWholeFile(folder + "\\fresh.txt"), "fresh");
    EXPECT_EQ(ReadWholeFile(folder + "\\held3.dat"), "");
    EXPECT_FALSE(FileExists(folder + "\\late.txt"));
}

TEST(Extraction, AFewUndeletableFilesDoNotKeepTheOthers) {
    TempRoot root("fewlocked");
    const std::string folder = root.Path("tmp_vel");
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<HANDLE> held;
    for (int i = 0; i < 45; ++i) {
        const std::string path = folder + "\\f" + std::to_string(i) + ".dat";
        if (i % 9 == 4) {
            held.push_back(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        } else {
            ASSERT_TRUE(WriteWholeFile(path, "x"));
        }
    }
    TestPayload payload;
    payload.Stored("fresh.txt", "fresh");
    ASSERT_EQ(Extract(payload).result, 1);
    for (HANDLE h : held) CloseHandle(h);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"f13.dat", "f22.dat", "f31.dat",
                                                             "f4.dat", "f40.dat", "fresh.txt"}));
}

TEST(Extraction, NamesThatWouldLeaveTheFolderAreNotWritten) {
    TempRoot root("escape");
    const std::string folder = root.Path("tmp_vel");
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
    TestPayload payload;
    payload.Stored("..\\up.txt", "x")
        .Stored("sub\\..\\..\\up2.txt", "x")
        .Stored("\\rooted.txt", "x")
        .Stored("/rooted2.txt", "x")
        .Stored("C:drive.txt", "x")
        .Stored((root.path + "\\absolute.txt"), "x")
        .Stored("CON", "x")
        .Stored("nul.txt", "x")
        .Stored("sub\\inside.txt", "inside")  // a folder that exists: stays inside
        .Stored("ok.txt", "ok")
        .Stored("missing\\x.txt", "x");  // a folder that does not: the writing stops
    testarchive::LogCapture log;
    ExpectStoppedAt(Extract(payload), "missing\\x.txt");
    EXPECT_EQ(FolderNames(root.path), (std::vector<std::string>{"tmp_vel\\"}));
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"ok.txt", "sub\\"}));
    EXPECT_EQ(ReadWholeFile(folder + "\\sub\\inside.txt"), "inside");
    // Each name left out is logged.
    ASSERT_EQ(log.texts.size(), 16u);
    EXPECT_EQ(log.texts[0], "69:Nom refus\xE9 : ..\\up.txt");
}

TEST(Extraction, ADamagedThirdEntryEndsTheWritingButNotTheRun) {
    TempRoot root("damaged");
    TestPayload payload;
    payload.Stored("one.txt", "1").Stored("two.txt", "2").Stored("three.txt", "3").Stored(
        "four.txt", "4");
    // Alter one content byte of the third record: its checkword no longer holds.
    payload.image[payload.RecordOffset(3) - 1] ^= 0x01;
    const Outcome run = Extract(payload);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(FolderNames(root.Path("tmp_vel")),
              (std::vector<std::string>{"one.txt", "two.txt"}));
}

// A content that cannot be had whole is never written: not as zeros, not
// in part; and the writing stops there.
TEST(Extraction, AContentThatCannotBeHadWholeStopsTheWriting) {
    TempRoot root("unreadable");
    // A stored content shorter than the 2 GiB its record claims.
    TestPayload noBlock;
    noBlock.Stored("before.txt", "b").Raw(0, "huge.bin", "", "abc", 0x7FFFFFFA).Stored("after.txt", "a");
    ExpectStoppedAt(Extract(noBlock), "huge.bin");
    EXPECT_EQ(FolderNames(root.Path("tmp_vel")), (std::vector<std::string>{"before.txt"}));
    // Back-reference stage, escape 0xFE, a reference before the start.
    TestPayload undecodable;
    undecodable.Raw(2, "bad.bin", "", std::string("\x40\xFE\x61\xFE\x02\x01", 6), 4)
        .Stored("after.txt", "after");
    ExpectStoppedAt(Extract(undecodable), "bad.bin");
    // Decodes, but to fewer bytes than its unpacked size (the plain frame).
    TestPayload shorter;
    shorter.Raw(2, "short.bin", "", std::string("\x00xy", 3), 5);
    ExpectStoppedAt(Extract(shorter), "short.bin");
    EXPECT_EQ(FolderNames(root.Path("tmp_vel")), (std::vector<std::string>{}));
}

TEST(Extraction, ATemporaryPathWithoutRoomForNamesEndsBeforeDeletingAnything) {
    TempRoot root("long");
    // Folder + "\tmp_vel\" + a 63-character name must fit in 255 characters.
    const std::string deep = root.path + "\\" + std::string(200 - root.path.size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((deep + "\\tmp_vel").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(deep + "\\tmp_vel\\old.txt", "old"));
    SetEnvironmentVariableA("TMP", deep.c_str());
    SetEnvironmentVariableA("TEMP", deep.c_str());
    TestPayload payload;
    payload.Stored("new.txt", "new");
    const Outcome run = Extract(payload);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.report.failure, CtExtractReport::kNoFolder);
    EXPECT_EQ(FolderNames(deep + "\\tmp_vel"), (std::vector<std::string>{"old.txt"}));
}

TEST(Extraction, AFolderThatCannotBeMadeEndsWithZero) {
    TempRoot root("blocked");
    // A file where the folder should be: neither enterable nor creatable.
    ASSERT_TRUE(WriteWholeFile(root.Path("tmp_vel"), "in the way"));
    TestPayload payload;
    payload.Stored("new.txt", "new");
    EXPECT_EQ(Extract(payload).result, 0);
    EXPECT_EQ(FolderNames(root.path), (std::vector<std::string>{"tmp_vel"}));
}

}  // namespace
