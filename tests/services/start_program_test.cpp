#include "services/StartProgram.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Main.h"
#include "services/LogRouting.h"
#include "tests/framework/GuiTestSupport.h"

namespace {

class Receiver : public LogReceiver {
public:
    explicit Receiver(uint16_t id) : LogReceiver(id) { AttachLogReceiver(this); }
    void Log(const char* text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// An application object, so that the wait pumps through MAIN::PumpFor.
class TestApp final : public MAIN {
public:
    TestApp() : MAIN("VelStartTest", GetModuleHandleA(nullptr), nullptr, "", SW_HIDE) {}
};

// A writable command line for the child: "path" code [milliseconds].
std::vector<char> ChildCommand(const std::string& arguments) {
    const std::string line = "\"" + SiblingPath("exit_child.exe") + "\" " + arguments;
    return std::vector<char>(line.begin(), line.end() + 1);
}

uint32_t RunChild(const std::string& arguments, int32_t wait) {
    std::vector<char> line = ChildCommand(arguments);
    // The application, when a test made one, serves the queue while waiting.
    return StartProgram(SiblingPath("exit_child.exe").c_str(), line.data(), wait,
                        MAIN_INSTANCE::Current);
}

TEST(StartProgram, AMissingProgramIsLogged) {
    Receiver process(kLogProcess);
    Receiver all(kLogAll);
    TempFolder folder("start_missing");
    EXPECT_EQ(StartProgram(folder.Path("absent.exe").c_str(), nullptr, 1, nullptr), 0u);
    EXPECT_EQ(process.texts, (std::vector<std::string>{"Erreur CreateProcess 2"}));
    EXPECT_EQ(all.texts, (std::vector<std::string>{"Erreur CreateProcess 2"}));
}

TEST(StartProgram, WaitGivesTheExitCode) {
    TestApp app;
    EXPECT_EQ(RunChild("0", 1), 0u);
    EXPECT_EQ(RunChild("3", 1), 3u);
    // 259 is STILL_ACTIVE: the end is seen on the process handle.
    EXPECT_EQ(RunChild("259 200", 1), 259u);
}

TEST(StartProgram, WaitWorksWithoutAnApplication) {
    ASSERT_EQ(MAIN_INSTANCE::Current, nullptr);
    EXPECT_EQ(RunChild("259", 1), 259u);
    EXPECT_EQ(RunChild("7 300", 1), 7u);
}

TEST(StartProgram, WithoutWaitTheResultIsOneAtOnce) {
    const DWORD start = GetTickCount();
    EXPECT_EQ(RunChild("5 2000", 0), 1u);
    EXPECT_LT(GetTickCount() - start, 1500u);
}

// Fails as Windows fails for a program that asks for elevation when the
// caller is not elevated; Wine never does.
BOOL WINAPI RefuseAsNotElevated(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    SetLastError(kErrorElevationRequired);
    return FALSE;
}

TEST(StartProgram, AProgramThatAsksForElevationIsStartedThroughTheShell) {
    TestApp app;
    std::vector<char> line = ChildCommand("6 200");
    int32_t started = 0;
    EXPECT_EQ(StartProgram(SiblingPath("exit_child.exe").c_str(), line.data(), 1,
                           MAIN_INSTANCE::Current, &started, RefuseAsNotElevated),
              6u);
    EXPECT_EQ(started, 1);
    // Without a wait it answers at once; a program that is not there does
    // not start either way.
    line = ChildCommand("0 2000");
    EXPECT_EQ(StartProgram(SiblingPath("exit_child.exe").c_str(), line.data(), 0, nullptr,
                           &started, RefuseAsNotElevated),
              1u);
    TempFolder folder("start_shell");
    Receiver process(kLogProcess);
    EXPECT_EQ(StartProgram(folder.Path("absent.exe").c_str(), nullptr, 1, nullptr, &started,
                           RefuseAsNotElevated),
              0u);
    EXPECT_EQ(started, 0);
    EXPECT_EQ(process.texts.size(), 1u);
}

// The system gives out the lowest free handle values: a handle that a start
// leaked would take one of the slots that the probe events left free.
std::vector<HANDLE> FreeSlots() {
    std::vector<HANDLE> probes;
    for (int i = 0; i < 4; ++i) probes.push_back(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    for (HANDLE h : probes) CloseHandle(h);
    return probes;
}

TEST(StartProgram, HandlesAreClosed) {
    TestApp app;
    RunChild("0", 1);  // the first start opens what process creation keeps
    for (int32_t wait : {1, 0}) {
        const std::vector<HANDLE> free = FreeSlots();
        EXPECT_EQ(RunChild("0", wait), wait != 0 ? 0u : 1u);
        EXPECT_EQ(FreeSlots(), free) << "wait " << wait;
    }
}

TEST(StartProgram, MessagesArePumpedWhileWaiting) {
    TestApp app;
    TickCounter counter(20);
    EXPECT_EQ(RunChild("0 1000", 1), 0u);
    // About 50 ticks if the queue is served at least every 100 ms; a wait
    // that does not pump sees none.
    EXPECT_GE(counter.Ticks(), 8);
}

}  // namespace
