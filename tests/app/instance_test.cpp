// The single-instance protocol between two processes under one Wine prefix.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/framework/GuiTestSupport.h"

namespace {

const char kTitle[] = "VelInstanceTest";

// One copy of instance_app, ended by force if it outlives the test.
class Copy {
public:
    explicit Copy(const std::string& arguments) : info_{} {
        const std::string program = SiblingPath("instance_app.exe");
        std::string line = "\"" + program + "\" " + arguments;
        std::vector<char> writable(line.begin(), line.end() + 1);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        started = CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &startup, &info_) != 0;
    }
    ~Copy() {
        if (!started) return;
        if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 99);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Copy(const Copy&) = delete;
    Copy& operator=(const Copy&) = delete;

    // The exit code, or 0xDEAD when the copy did not end in time.
    DWORD Wait() {
        if (!WaitPumping(info_.hProcess, 15000)) return 0xDEAD;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

    bool started;

private:
    PROCESS_INFORMATION info_;
};

// Waits until a copy's main window exists.
bool MainWindowAppears() {
    for (int i = 0; i < 300; ++i) {
        if (FindWindowA("OW_MAIN", kTitle) != nullptr) return true;
        PumpMessages(50);
    }
    return false;
}

bool MainWindowGoes() {
    for (int i = 0; i < 100; ++i) {
        if (FindWindowA("OW_MAIN", kTitle) == nullptr) return true;
        PumpMessages(50);
    }
    return false;
}

TEST(SingleInstance, ASecondCopyAsksTheFirstToShowItself) {
    ASSERT_TRUE(MainWindowGoes());
    Copy first("");
    ASSERT_TRUE(first.started);
    ASSERT_TRUE(MainWindowAppears());
    Copy second("");
    ASSERT_TRUE(second.started);
    EXPECT_EQ(second.Wait(), 20u);
    EXPECT_EQ(first.Wait(), 11u);
    EXPECT_TRUE(MainWindowGoes());
}

TEST(SingleInstance, ASecondCopyHandsItsValueOver) {
    ASSERT_TRUE(MainWindowGoes());
    Copy first("");
    ASSERT_TRUE(first.started);
    ASSERT_TRUE(MainWindowAppears());
    Copy second("handover");
    ASSERT_TRUE(second.started);
    EXPECT_EQ(second.Wait(), 20u);
    EXPECT_EQ(first.Wait(), 33u);
}

}  // namespace
