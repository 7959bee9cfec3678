#include "services/FileList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/framework/GuiTestSupport.h"

namespace {

struct Seen {
    std::vector<std::string> paths;
    std::vector<intptr_t> users;
    int stopAfter = -1;
};

int32_t Note(void* context, const char* path, intptr_t user) {
    Seen* seen = static_cast<Seen*>(context);
    seen->paths.push_back(path);
    seen->users.push_back(user);
    return static_cast<int>(seen->paths.size()) == seen->stopAfter ? 0 : 1;
}

std::string Pattern(const TempFolder& folder) { return folder.path + "\\*.*"; }

TEST(ListFiles, CountsNamesAndPassesFilesOnly) {
    TempFolder folder("list_mixed");
    for (const char* d : {"d1", "d2", "d3"}) {
        ASSERT_TRUE(CreateDirectoryA(folder.Path(d).c_str(), nullptr));
    }
    ASSERT_TRUE(folder.Write("a.txt", "a"));
    ASSERT_TRUE(folder.Write("b.txt", "b"));
    ASSERT_TRUE(folder.Write(".hidden", "h"));  // a leading point: neither counted nor passed
    Seen seen;
    const std::string pattern = Pattern(folder);
    EXPECT_EQ(ListFiles(pattern.c_str(), &seen, Note, 42, nullptr), 5);
    std::sort(seen.paths.begin(), seen.paths.end());
    EXPECT_EQ(seen.paths, (std::vector<std::string>{folder.Path("a.txt"), folder.Path("b.txt")}));
    EXPECT_EQ(seen.users, (std::vector<intptr_t>{42, 42}));
}

TEST(ListFiles, OnlySubfoldersMeansNoCall) {
    TempFolder folder("list_dirs");
    ASSERT_TRUE(CreateDirectoryA(folder.Path("only").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(folder.Path("dirs").c_str(), nullptr));
    Seen seen;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &seen, Note, 0, nullptr), 2);
    EXPECT_TRUE(seen.paths.empty());
}

TEST(ListFiles, NothingToFind) {
    TempFolder folder("list_empty");
    Seen seen;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &seen, Note, 0, nullptr), 0);
    EXPECT_EQ(ListFiles(folder.Path("missing\\*.*").c_str(), &seen, Note, 0, nullptr), 0);
    EXPECT_TRUE(seen.paths.empty());
}

TEST(ListFiles, BatchesOfTwenty) {
    TempFolder folder("list_batch");
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(folder.Write("f" + std::to_string(i) + ".bin", "x"));
    CtFileBatch batch;
    batch.count = 0;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &batch, CollectPath, 0, nullptr), 20);
    EXPECT_EQ(batch.count, 20);
    for (int i = 0; i < 20; ++i) {
        const std::string path = batch.paths[i];
        EXPECT_EQ(path.rfind(folder.path + "\\f", 0), 0u) << path;
        EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    }
}

TEST(ListFiles, StopsOnTheCallbackOrTheFlag) {
    TempFolder folder("list_stop");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(folder.Write("f" + std::to_string(i), "x"));
    Seen seen;
    seen.stopAfter = 2;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &seen, Note, 0, nullptr), 2);
    EXPECT_EQ(seen.paths.size(), 2u);

    Seen flagged;
    const int32_t stop = 1;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &flagged, Note, 0, &stop), 0);
    EXPECT_TRUE(flagged.paths.empty());
    const int32_t go = 0;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &flagged, Note, 0, &go), 5);
}

TEST(ListFiles, LongNamesAreTakenWhole) {
    TempFolder folder("list_long");
    const std::string name = std::string(100, 'n') + ".txt";  // longer than 63 characters
    ASSERT_TRUE(folder.Write(name, "x"));
    Seen seen;
    EXPECT_EQ(ListFiles(Pattern(folder).c_str(), &seen, Note, 0, nullptr), 1);
    ASSERT_EQ(seen.paths.size(), 1u);
    EXPECT_EQ(seen.paths[0], folder.Path(name));
}

TEST(ListFiles, APathBeyond255CharactersIsPassedOver) {
    TempFolder folder("list_deep");
    // A folder deep enough that one of its files' full paths takes 257
    // characters (Windows still creates it below MAX_PATH), the other 250.
    const std::string deep = folder.Path(std::string(200 - folder.path.size(), 'd'));
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep;
    const std::string too_long(257 - deep.size() - 1, 'L');
    const std::string fitting(250 - deep.size() - 1, 'F');
    HANDLE f = CreateFileA((deep + "\\" + too_long).c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    f = CreateFileA((deep + "\\" + fitting).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    Seen seen;
    const std::string pattern = deep + "\\*.*";
    EXPECT_EQ(ListFiles(pattern.c_str(), &seen, Note, 0, nullptr), 2);  // both counted
    EXPECT_EQ(seen.paths, (std::vector<std::string>{deep + "\\" + fitting}));
    DeleteFileA((deep + "\\" + too_long).c_str());
}

}  // namespace
