#include <gtest/gtest.h>

#include <string>

#include "services/InfoTime.h"
#include "tests/container/EntryNameCases.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/FileTimes.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/PayloadWriter.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "tools/velpack/host/ChildProcess.h"
#include "tools/velpack/host/TextOutput.h"
#include "tools/velpack/host/Win32Handle.h"
#endif

namespace {

std::string Ansi(const std::string& utf8) {
    std::string ansi;
    EXPECT_TRUE(AnsiFromUtf8(utf8, &ansi)) << utf8;
    return ansi;
}

TEST(AnsiText, ConvertsBothWaysAcrossTheWholeCodePage) {
    EXPECT_EQ(Ansi("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(Ansi("\xE2\x82\xAC \xC5\x93 \xC5\xB8 \xC3\xBF"), "\x80 \x9C \x9F \xFF");
    std::string all;
    for (int c = 1; c < 256; ++c) {
        if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) continue;
        all += static_cast<char>(c);
    }
    std::string utf8;
    ASSERT_TRUE(Utf8FromAnsi(all, &utf8));
    EXPECT_EQ(Ansi(utf8), all);
    // The UTF-16 form (of version strings) agrees with the converter's.
    std::string fromWide;
    for (char16_t c : Utf16FromAnsi(all)) {
        if (c < 0x80) {
            fromWide += static_cast<char>(c);
        } else if (c < 0x800) {
            fromWide += static_cast<char>(0xC0 | c >> 6);
            fromWide += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            fromWide += static_cast<char>(0xE0 | c >> 12);
            fromWide += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            fromWide += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    EXPECT_EQ(fromWide, utf8);
}

TEST(AnsiText, RefusesWhatDoesNotFit) {
    std::string out;
    EXPECT_FALSE(AnsiFromUtf8("\xE6\x97\xA5\xE6\x9C\xAC", &out));  // 日本
    EXPECT_FALSE(AnsiFromUtf8("\xC4\x81", &out));                  // ā: no look-alike 'a'
    EXPECT_FALSE(AnsiFromUtf8("bad \xC3", &out));                  // not UTF-8
    EXPECT_FALSE(AnsiFromUtf8("\xC2\x81", &out));                  // U+0081
    for (const char* undefined : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        EXPECT_FALSE(Utf8FromAnsi(std::string("a") + undefined, &out)) << int(undefined[0]);
    }
}

TEST(AnsiText, PrintableFormShowsEveryByte) {
    EXPECT_EQ(PrintableAnsi("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(PrintableAnsi("a\tb\x81\x7F"), "a\\x09b\\x81\\x7F");
    EXPECT_EQ(PrintableAnsi(std::string("x\0y", 3)), "x\\x00y");
}

TEST(NameRules, WindowsNamesThatArePacked) {
    for (const EntryNameCase& c : kEntryNameCases) {
        EXPECT_EQ(WindowsNameProblem(c.name).empty(), c.velpackPacks) << c.name;
    }
}

TEST(NameRules, FoldingMatchesWindowsCaseInsensitivity) {
    EXPECT_EQ(FoldedName("Readme.TXT"), FoldedName("README.txt"));
    EXPECT_EQ(FoldedName("caf\xE9"), FoldedName("CAF\xC9"));
    EXPECT_EQ(FoldedName("\x9C\x9A\x9E\xFF"), FoldedName("\x8C\x8A\x8E\x9F"));
    EXPECT_NE(FoldedName("\xF7"), FoldedName("\xD7"));  // ÷ and × are not letters
    EXPECT_NE(FoldedName("a"), FoldedName("\xE0"));
}

TEST(FileTimes, IsoFormsInUtc) {
    EXPECT_EQ(IsoFromFileTime(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(IsoFromFileTime(116444736000000000ull), "1970-01-01T00:00:00Z");
    EXPECT_EQ(IsoFromFileTime(116444736000000000ull + 1), "1970-01-01T00:00:00.0000001Z");
    // 2000-02-29T12:34:56.5Z, a leap day.
    EXPECT_EQ(IsoFromFileTime(125963012965000000ull), "2000-02-29T12:34:56.5000000Z");
    EXPECT_EQ(IsoFromFileTime(UINT64_MAX).substr(0, 6), "60056-");
}

TEST(FileTimes, UnixRoundTripAndTheLimitOf1601) {
    uint64_t ft = 0;
    ASSERT_TRUE(FileTimeFromUnix(1700000000, 123456789, &ft));
    int64_t seconds;
    uint32_t nanoseconds;
    UnixFromFileTime(ft, &seconds, &nanoseconds);
    EXPECT_EQ(seconds, 1700000000);
    EXPECT_EQ(nanoseconds, 123456700u);  // FILETIME counts 100 ns
    ASSERT_TRUE(FileTimeFromUnix(-kFileTimeUnixOffset, 0, &ft));
    EXPECT_EQ(ft, 0u);
    EXPECT_FALSE(FileTimeFromUnix(-kFileTimeUnixOffset - 1, 0, &ft));
}

// The launcher's own reader takes back what velpack writes.
TEST(FileTimes, InfoLinesReadBackByTheLauncher) {
    for (uint64_t ft : {uint64_t{0}, uint64_t{133000000000000000ull}, uint64_t{0xFFFFFFFF80000001ull},
                        uint64_t{0x00000001FFFFFFFFull}}) {
        const std::string info = "velpack" + InfoTimeLines(ft);
        ASSERT_LE(info.size(), 127u);
        uint32_t low = 1, high = 1;
        ASSERT_EQ(ReadInfoTime(info.c_str(), 0, &low, &high), 1);
        EXPECT_EQ(uint64_t{high} << 32 | low, ft);
    }
}

}  // namespace

#ifdef _WIN32
// The command line velpack hands a program it runs (osslsigncode) comes
// apart into the same arguments again, blanks, quotes and backslashes
// included.
TEST(WindowsCommandLine, ComesApartIntoTheSameArguments) {
    const std::vector<std::wstring> arguments = {
        L"C:\\Program Files\\osslsigncode.exe", L"plain", L"", L"two words", L"\"quoted\"",
        L"end\\", L"C:\\with blank\\", L"back\\\"quote", L"\\\\server\\share", L"tab\there"};
    const std::wstring line = WindowsCommandLine(arguments);
    int count = 0;
    wchar_t** parsed = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(static_cast<size_t>(count), arguments.size()) << std::string(line.begin(), line.end());
    for (int i = 0; i < count; ++i) EXPECT_EQ(parsed[i], arguments[static_cast<size_t>(i)]) << i;
    LocalFree(parsed);
}

// A console shows velpack's UTF-8 output as it is, characters beyond the
// console's code page included.
TEST(TextOutput, AConsoleShowsEveryCharacter) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> console(std::fopen("CONOUT$", "w"),
                                                                  std::fclose);
    ASSERT_NE(console, nullptr);
    const Win32Handle screen(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(screen.Valid());
    CONSOLE_SCREEN_BUFFER_INFO before;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen.Get(), &before));
    WriteText(console.get(), "velpack: C:\\\xD0\xA3\xD1\x81\xD1\x82 \xC3\xA9t\xC3\xA9\n");
    const std::wstring expected = L"velpack: C:\\\x423\x441\x442 \xE9t\xE9";
    std::wstring shown(expected.size(), L' ');
    DWORD n = 0;
    const COORD line = {0, before.dwCursorPosition.Y};
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen.Get(), &shown[0],
                                            static_cast<DWORD>(shown.size()), line, &n));
    EXPECT_EQ(shown, expected);
    // The line end went to the start of the next line.
    CONSOLE_SCREEN_BUFFER_INFO after;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(screen.Get(), &after));
    EXPECT_EQ(after.dwCursorPosition.X, 0);
    EXPECT_EQ(after.dwCursorPosition.Y, before.dwCursorPosition.Y + 1);
    FreeConsole();
}
#endif
