#include "services/HFile.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/framework/GuiTestSupport.h"

namespace {

const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

uint64_t WriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

uint64_t Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string Content(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<none>";
    char buffer[256];
    DWORD got = 0;
    ReadFile(f, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(f);
    return std::string(buffer, got);
}

// Writes a file through H_FILE with info as its information text and
// answers its last-write time.
uint64_t TimeAfter(const TempFolder& folder, const char* info) {
    const std::string path = folder.Path("timed.bin");
    H_FILE file;
    EXPECT_EQ(file.Open(path.c_str(), CREATE_ALWAYS, kReadWrite), 1);
    file.Write("data", 4);
    file.SetWriteTime(info, 0);
    file.Close();
    return WriteTime(path);
}

// The high half of a FILETIME early in January 2021.
const uint32_t kHigh = 30860118;

TEST(HFile, OpenWriteClose) {
    TempFolder folder("hfile_basic");
    const std::string path = folder.Path("a.txt");
    {
        H_FILE file;
        EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
        ASSERT_EQ(file.Open(path.c_str(), CREATE_ALWAYS, kReadWrite), 1);
        EXPECT_STREQ(file.path, path.c_str());
        EXPECT_EQ(file.Write("abc", -1), 3u);  // a text: its length
        EXPECT_EQ(file.bytesWritten, 3u);
        EXPECT_EQ(file.Write("defgh", 2), 2u);
    }  // closed here: the content is readable and the handle released
    EXPECT_EQ(Content(path), "abcde");
    // CREATE_ALWAYS replaces and truncates.
    {
        H_FILE file;
        ASSERT_EQ(file.Open(path.c_str(), CREATE_ALWAYS, kReadWrite), 1);
        file.Write("z", 1);
        // A second open closes the first file.
        ASSERT_EQ(file.Open(folder.Path("b.txt").c_str(), CREATE_ALWAYS, kReadWrite), 1);
        EXPECT_EQ(Content(path), "z");
        EXPECT_TRUE(DeleteFileA(path.c_str()));
    }
}

TEST(HFile, FailedOpenLeavesTheObjectClosed) {
    TempFolder folder("hfile_fail");
    H_FILE file;
    EXPECT_EQ(file.Open(folder.Path("missing\\x.txt").c_str(), CREATE_ALWAYS, kReadWrite), 0);
    EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.lastError, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(file.Write("abc", -1), 0u);  // no file: nothing written, nothing recorded
    EXPECT_EQ(file.lastError, static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    file.SetWriteTime("\r\nDWCL=1\r\nDWCH=2", 0);
    file.Close();
    file.Close();
}

TEST(HFile, NoPathIsRefusedNotTakenForThePreviousFile) {
    TempFolder folder("hfile_nopath");
    const std::string kept = folder.Path("kept.txt");
    H_FILE file;
    ASSERT_EQ(file.Open(kept.c_str(), CREATE_ALWAYS, kReadWrite), 1);
    ASSERT_EQ(file.Write("keep me", -1), 7u);
    for (const char* none : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(file.Open(none, CREATE_ALWAYS, kReadWrite), 0);
        EXPECT_EQ(file.lastError, static_cast<uint32_t>(ERROR_INVALID_NAME));
        EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(Content(kept), "keep me");  // not reopened, not emptied
}

TEST(HFile, APathLongerThanItsBufferIsRefusedNotCut) {
    TempFolder folder("hfile_long");
    // Cut to 255 characters this would name a file inside the folder.
    const std::string cut = folder.Path(std::string(255 - folder.path.size() - 1, 'c'));
    ASSERT_EQ(cut.size(), 255u);
    const std::string longer = cut + "\\x.txt";
    H_FILE file;
    EXPECT_EQ(file.Open(longer.c_str(), CREATE_ALWAYS, kReadWrite), 0);
    EXPECT_EQ(file.lastError, static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileAttributesA(cut.c_str()), INVALID_FILE_ATTRIBUTES);
    // 255 characters still fit.
    EXPECT_EQ(file.Open(cut.c_str(), CREATE_ALWAYS, kReadWrite), 1);
}

TEST(HFile, WriteTimeFromTheInformationText) {
    TempFolder folder("hfile_time");
    EXPECT_EQ(TimeAfter(folder, "name=a\r\nDWCL=123456\r\nDWCH=30860118\r\n"),
              (static_cast<uint64_t>(kHigh) << 32) | 123456u);
    // Keys in lower case are found.
    EXPECT_EQ(TimeAfter(folder, "x\r\ndwcl=7\r\ndwch=30860118"),
              (static_cast<uint64_t>(kHigh) << 32) | 7u);
    // 4294967295 and -1 both set every low bit.
    EXPECT_EQ(TimeAfter(folder, "x\r\nDWCL=4294967295\r\nDWCH=30860118"),
              (static_cast<uint64_t>(kHigh) << 32) | 0xFFFFFFFFu);
    EXPECT_EQ(TimeAfter(folder, "x\r\nDWCL=-1\r\nDWCH=30860118"),
              (static_cast<uint64_t>(kHigh) << 32) | 0xFFFFFFFFu);
    // Values are cut to 15 digits: 123456789012345 mod 2^32.
    EXPECT_EQ(TimeAfter(folder, "x\r\nDWCL=1234567890123456789\r\nDWCH=30860118"),
              (static_cast<uint64_t>(kHigh) << 32) | (123456789012345ull & 0xFFFFFFFFu));
    // Only the high half: the low half is 0.
    EXPECT_EQ(TimeAfter(folder, "x\r\nDWCH=30860118"), static_cast<uint64_t>(kHigh) << 32);
    // A low half on the first line has no line break before it: not seen.
    EXPECT_EQ(TimeAfter(folder, "DWCL=5\r\nDWCH=30860118"), static_cast<uint64_t>(kHigh) << 32);
}

TEST(HFile, WithoutKeysTheFileKeepsTheTimeOfWriting) {
    TempFolder folder("hfile_now");
    const uint64_t minute = 60ull * 10000000ull;
    uint64_t t = TimeAfter(folder, "just a line\r\nother=1");
    EXPECT_LT(t > Now() ? t - Now() : Now() - t, minute);
    // A key on the first line has no line break before it: not seen.
    t = TimeAfter(folder, "DWCL=5\r\nother");
    EXPECT_LT(t > Now() ? t - Now() : Now() - t, minute);
}

}  // namespace
