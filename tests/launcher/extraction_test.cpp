// The extraction into %TEMP%\tmp_vel, run directly (without its dialog) on
// archives built in memory, with TMP pointing at a folder of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/CtArchive.h"
#include "launcher/AnsiTempPath.h"
#include "launcher/CtBlockRing.h"
#include "launcher/CtExtraction.h"
#include "launcher/CtTempFolder.h"
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

// The folder, and with it the written files, is let go on the way out.
Outcome Extract(const TestPayload& payload, const char* program = "") {
    CtArchive archive(payload.image.data(), static_cast<int32_t>(payload.image.size()));
    CtTempFolder folder;
    Outcome run;
    CtExtraction extraction(&folder, &archive, program, &run.report, nullptr);
    run.result = extraction.Run();
    run.folder = folder.path;
    return run;
}

// The extraction stopped at the entry of that name.
void ExpectStoppedAt(const Outcome& run, const char* name) {
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.report.failure, CtExtractReport::kEntryFailed);
    EXPECT_STREQ(run.report.name, name);
}

std::wstring Wide(const std::string& ansi) {
    std::wstring w(ansi.size() + 1, L'\0');
    w.resize(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &w[0], static_cast<int>(w.size())) -
             1);
    return w;
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

    const Outcome run = Extract(payload, "PLAIN.BIN");
    ASSERT_EQ(run.result, 1);
    // What it wrote, named as the plan names it, in any case.
    EXPECT_EQ(run.report.wroteProgram, 1);
    EXPECT_EQ(run.report.wroteInstaller, 0);
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
    // A name the ANSI code page cannot spell (Greek), and what a run killed
    // in the middle of a write leaves: a temporary name of 64 characters.
    const std::wstring greek = Wide(folder) + L"\\\x3b1\x3b2\x3b3.txt";
    HANDLE h = CreateFileW(greek.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    ASSERT_TRUE(WriteWholeFile(folder + "\\~vel00000003" + std::string(48, '~') + ".tmp", "half"));

    TestPayload payload;
    payload.Stored("new.txt", "new");
    ASSERT_EQ(Extract(payload).result, 1);
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{".dotted", "keep\\", "new.txt"}));
    EXPECT_EQ(ReadWholeFile(folder + "\\keep\\inner.txt"), "inner");
}

// Notes the shares the extraction reports, and stops it at the first one
// past stopAt.
class ProgressNotes : public CtProgress {
public:
    explicit ProgressNotes(int32_t stopAt) : extraction(nullptr), stopAt_(stopAt) {}
    void Advanced(int32_t permille) override {
        shares.push_back(permille);
        if (permille > stopAt_) extraction->Stop();
    }
    CtExtraction* extraction;
    std::vector<int32_t> shares;

private:
    int32_t stopAt_;
};

// The share of the unpacked bytes grows to 1000; a stop ends the writing
// at the next piece, without a half file or a temporary one behind.
TEST(Extraction, ProgressGrowsToTheWholeAndAStopLeavesNoHalfFile) {
    TempRoot root("progress");
    TestPayload payload;
    payload.Stored("one.bin", std::string(100000, '1'))
        .Packed("two.bin", std::string(300000, '2'))
        .Stored("three.bin", std::string(100000, '3'), "", 1);
    CtArchive archive(payload.image.data(), static_cast<int32_t>(payload.image.size()));
    for (int32_t stopAt : {1000, 300}) {
        CtTempFolder folder;
        CtExtractReport report;
        ProgressNotes notes(stopAt);
        CtExtraction extraction(&folder, &archive, "", &report, &notes);
        notes.extraction = &extraction;
        const int32_t result = extraction.Run();
        folder.Release();
        ASSERT_FALSE(notes.shares.empty());
        EXPECT_TRUE(std::is_sorted(notes.shares.begin(), notes.shares.end()));
        if (stopAt == 1000) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(notes.shares.back(), 1000);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(report.failure, CtExtractReport::kInterrupted);
            // The first entry is a fifth: written whole; the second stopped.
            EXPECT_EQ(FolderNames(root.Path("tmp_vel")), (std::vector<std::string>{"one.bin"}));
        }
    }
}

// The folder is emptied all or nothing: one file held open (an earlier
// installation still at work) stops the run before anything is deleted or
// written, and is named.
TEST(Extraction, AFileInUseStopsTheRunBeforeAnythingIsDeleted) {
    TempRoot root("held");
    const std::string folder = root.Path("tmp_vel");
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<HANDLE> held;
    for (int i = 0; i < 50; ++i) {
        const std::string path = folder + "\\f" + std::to_string(i) + ".dat";
        if (i % 5 == 2) {
            held.push_back(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
        } else {
            ASSERT_TRUE(WriteWholeFile(path, "x"));
            if (i % 7 == 0) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        }
    }
    TestPayload payload;
    payload.Stored("fresh.txt", "fresh");
    const Outcome run = Extract(payload);
    for (HANDLE h : held) CloseHandle(h);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.report.failure, CtExtractReport::kInUse);
    EXPECT_EQ(std::string(run.report.name).substr(0, 1), "f");
    EXPECT_EQ(FolderNames(folder).size(), 50u);
    // The read-only marks cleared on the way are back.
    for (int i = 0; i < 50; i += 7) {
        if (i % 5 == 2) continue;
        const std::string path = folder + "\\f" + std::to_string(i) + ".dat";
        EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << i;
    }
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
        .Stored("ok.txt", "ok")
        // Inside, but through a subfolder that nobody checked (it could be
        // a link): the writing stops there.
        .Stored("sub\\inside.txt", "inside")
        .Stored("late.txt", "x");
    testarchive::LogCapture log;
    ExpectStoppedAt(Extract(payload), "sub\\inside.txt");
    EXPECT_EQ(FolderNames(root.path), (std::vector<std::string>{"tmp_vel\\"}));
    EXPECT_EQ(FolderNames(folder), (std::vector<std::string>{"ok.txt", "sub\\"}));
    EXPECT_EQ(FolderNames(folder + "\\sub"), (std::vector<std::string>{}));
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

// Who may own the folder: the user; the Administrators group and the
// system only for a run with an administrator's rights. (Wine gives every
// file the user as its owner, so this rule is checked here.)
TEST(Extraction, OnlyTheUserOrAnAdministratorsRunOwnsTheFolder) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } user;
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, &user, sizeof user, &size));
    CloseHandle(token);
    auto sid = [](WELL_KNOWN_SID_TYPE type, std::vector<BYTE>* bytes) {
        DWORD n = SECURITY_MAX_SID_SIZE;
        bytes->resize(n);
        EXPECT_TRUE(CreateWellKnownSid(type, nullptr, bytes->data(), &n));
        return static_cast<PSID>(bytes->data());
    };
    std::vector<BYTE> a, s, u, w;
    PSID administrators = sid(WinBuiltinAdministratorsSid, &a);
    PSID system = sid(WinLocalSystemSid, &s);
    PSID users = sid(WinBuiltinUsersSid, &u);
    PSID everyone = sid(WinWorldSid, &w);
    PSID me = user.user.User.Sid;
    for (int administrator : {0, 1}) {
        EXPECT_EQ(CtTempFolder::TrustedOwner(me, me, administrator), 1);
        EXPECT_EQ(CtTempFolder::TrustedOwner(administrators, me, administrator), administrator);
        EXPECT_EQ(CtTempFolder::TrustedOwner(system, me, administrator), administrator);
        EXPECT_EQ(CtTempFolder::TrustedOwner(users, me, administrator), 0);
        EXPECT_EQ(CtTempFolder::TrustedOwner(everyone, me, administrator), 0);
        EXPECT_EQ(CtTempFolder::TrustedOwner(nullptr, me, administrator), 0);
    }
}

// The temporary path in the code page of the ANSI calls: exact, or not at
// all. Under Windows' "UTF-8 for worldwide language support" the code page
// is 65001, which Wine never reports: the conversion takes it as given.
TEST(Extraction, TheTemporaryPathIsSpelledExactlyInTheAnsiCodePage) {
    const wchar_t* cyrillic = L"C:\\Users\\\x412\x435\x440\x430\\Temp\\";
    const wchar_t* latin = L"C:\\Users\\Andr\xE9\\Temp\\";
    char buffer[256];
    EXPECT_EQ(ExactAnsi(cyrillic, CP_UTF8, buffer, sizeof buffer), 23);
    EXPECT_EQ(std::string(buffer), "C:\\Users\\\xD0\x92\xD0\xB5\xD1\x80\xD0\xB0\\Temp\\");
    EXPECT_EQ(ExactAnsi(latin, CP_UTF8, buffer, sizeof buffer), 21);
    EXPECT_EQ(ExactAnsi(latin, 1252, buffer, sizeof buffer), 20);
    EXPECT_EQ(std::string(buffer), "C:\\Users\\Andr\xE9\\Temp\\");
    EXPECT_EQ(ExactAnsi(cyrillic, 1252, buffer, sizeof buffer), 0);
    // A lone surrogate has no UTF-8 form; a path that does not fit, none.
    EXPECT_EQ(ExactAnsi(L"C:\\\xD800\\", CP_UTF8, buffer, sizeof buffer), 0);
    EXPECT_EQ(ExactAnsi(latin, CP_UTF8, buffer, 10), 0);
}

// The ring between the extraction's two threads, in a small size, so that
// both sides often find it full or empty and wait: every block comes
// through once, in order, with its length, bytes and end; the emptier's
// Take answers null once the filler has finished; and an emptier that gives
// up wakes a filler that waits on a full ring.
TEST(CtBlockRing, PassesEveryBlockInOrderAndLetsEitherSideStop) {
    const int32_t kBlocks = 20000;
    struct Filler {
        static DWORD WINAPI Fill(void* ring) {
            CtBlockRing* r = static_cast<CtBlockRing*>(ring);
            for (int32_t i = 0;; ++i) {
                CtBlockRing::Slot* slot = r->Free();
                if (slot == nullptr) return static_cast<DWORD>(i);
                if (i == kBlocks) {
                    r->Finish();
                    return static_cast<DWORD>(i);
                }
                slot->length = 1 + i % r->size;
                for (int32_t k = 0; k < slot->length; ++k) slot->data[k] = static_cast<uint8_t>(i + k);
                slot->ends = i % 7 == 0;
                slot->result = i;
                r->Put();
            }
        }
    };
    {
        CtBlockRing ring(4, 37);
        ASSERT_TRUE(ring.Ready());
        HANDLE filler = CreateThread(nullptr, 0, Filler::Fill, &ring, 0, nullptr);
        ASSERT_NE(filler, nullptr);
        int32_t wrong = 0;
        int32_t taken = 0;
        for (const CtBlockRing::Slot* slot; (slot = ring.Take()) != nullptr; ++taken) {
            bool right = slot->result == taken && slot->length == 1 + taken % ring.size &&
                         slot->ends == (taken % 7 == 0);
            for (int32_t k = 0; right && k < slot->length; ++k) {
                right = slot->data[k] == static_cast<uint8_t>(taken + k);
            }
            wrong += right ? 0 : 1;
            ring.Give();
        }
        EXPECT_EQ(taken, kBlocks);
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(WaitForSingleObject(filler, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        CloseHandle(filler);
    }
    {
        CtBlockRing ring(2, 8);
        HANDLE filler = CreateThread(nullptr, 0, Filler::Fill, &ring, 0, nullptr);
        ASSERT_NE(filler, nullptr);
        ASSERT_NE(ring.Take(), nullptr);
        ring.Give();
        // The filler fills the ring and waits; the emptier gives up.
        Sleep(100);
        ring.Abandon();
        EXPECT_EQ(WaitForSingleObject(filler, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD filled = 0;
        GetExitCodeThread(filler, &filled);
        EXPECT_LT(filled, static_cast<DWORD>(kBlocks));
        CloseHandle(filler);
    }
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
