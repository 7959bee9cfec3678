#include "services/FileList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Join(const char* pattern, const char* name, int32_t capacity = 256,
                 int32_t* position = nullptr) {
    char out[512];
    std::fill(std::begin(out), std::end(out), 'x');
    const int32_t end = JoinPath(pattern, name, out, capacity);
    if (position != nullptr) *position = end;
    return end < 0 ? "<refused:" + std::string(out) + ">" : std::string(out);
}

TEST(JoinPath, ReplacesTheLastComponent) {
    int32_t end = 0;
    EXPECT_EQ(Join("C:\\tmp\\tmp_vel\\*.*", "setup.ist", 256, &end), "C:\\tmp\\tmp_vel\\setup.ist");
    EXPECT_EQ(end, 24);
    EXPECT_EQ(Join("C:*.*", "a.txt"), "C:a.txt");
    EXPECT_EQ(Join("*.*", "a.txt"), "a.txt");
    EXPECT_EQ(Join("dir\\", "a.txt"), "dir\\a.txt");
    EXPECT_EQ(Join("dir\\*.*", ""), "dir\\");
    EXPECT_EQ(Join("dir\\*.*", nullptr), "dir\\");
}

TEST(JoinPath, APathThatDoesNotFitIsRefusedNotCut) {
    const std::string folder = "C:\\" + std::string(240, 'f') + "\\";
    const std::string pattern = folder + "*.*";
    // 244 + 11 = 255 characters: fits exactly with its terminator.
    EXPECT_EQ(Join(pattern.c_str(), "abcdefghijk"), folder + "abcdefghijk");
    EXPECT_EQ(Join(pattern.c_str(), "abcdefghijkl"), "<refused:>");
    // A folder part that alone is too long.
    const std::string deep = "C:\\" + std::string(300, 'd') + "\\*.*";
    EXPECT_EQ(Join(deep.c_str(), "a", 512), "C:\\" + std::string(300, 'd') + "\\a");
    EXPECT_EQ(Join(deep.c_str(), "a", 256), "<refused:>");
    char none[1];
    EXPECT_EQ(JoinPath("a\\*", "b", none, 0), -1);
}

TEST(CollectPath, TwentyPathsPerBatch) {
    CtFileBatch batch;
    batch.count = 0;
    for (int i = 1; i <= 19; ++i) {
        EXPECT_EQ(CollectPath(&batch, ("p" + std::to_string(i)).c_str(), 0), 1);
    }
    EXPECT_EQ(CollectPath(&batch, "p20", 0), 0);  // stored, and the walk told to stop
    EXPECT_EQ(batch.count, 20);
    EXPECT_STREQ(batch.paths[0], "p1");
    EXPECT_STREQ(batch.paths[19], "p20");
    // A batch that was not reset stays as it is.
    EXPECT_EQ(CollectPath(&batch, "p21", 0), 0);
    EXPECT_EQ(batch.count, 20);
    batch.count = -3;
    EXPECT_EQ(CollectPath(&batch, "p", 0), 0);
    EXPECT_EQ(batch.count, -3);
}

TEST(CollectPath, PathsLongerThanTheirBufferArePassedOver) {
    CtFileBatch batch;
    batch.count = 0;
    EXPECT_EQ(CollectPath(&batch, std::string(256, 'q').c_str(), 0), 1);
    EXPECT_EQ(batch.count, 0);
    EXPECT_EQ(CollectPath(&batch, std::string(255, 'q').c_str(), 0), 1);
    EXPECT_EQ(batch.count, 1);
    EXPECT_EQ(std::string(batch.paths[0]), std::string(255, 'q'));
}

}  // namespace
