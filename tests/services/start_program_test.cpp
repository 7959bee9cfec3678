#include "services/StartProgram.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/LogRouting.h"
#include "app/Main.h"
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
    return StartProgram(SiblingPath("exit_child.exe").c_str(), line.data(), wait);
}

uint64_t ProcessCpu100ns() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

int TimerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++TimerTicks; }

TEST(StartProgram, AMissingProgramIsLogged) {
    Receiver process(kLogProcess);
    Receiver all(kLogAll);
    TempFolder folder("start_missing");
    EXPECT_EQ(StartProgram(folder.Path("absent.exe").c_str(), nullptr, 1), 0u);
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
    TimerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
    EXPECT_EQ(RunChild("0 1000", 1), 0u);
    KillTimer(nullptr, timer);
    // About 50 ticks if the queue is served at least every 100 ms; a wait
    // that does not pump sees none.
    EXPECT_GE(TimerTicks, 8);
}

TEST(StartProgram, AWaitUsesAlmostNoProcessor) {
    TestApp app;
    // The measure itself sees a busy processor above the bound below, even
    // on a machine that other work keeps busy.
    const uint64_t busyStart = ProcessCpu100ns();
    const DWORD spinStart = GetTickCount();
    while (GetTickCount() - spinStart < 300) {
    }
    const uint64_t busy = ProcessCpu100ns() - busyStart;
    EXPECT_GE(busy, 300u * 10000u / 10u) << "GetProcessTimes does not measure this process";

    const uint64_t cpuStart = ProcessCpu100ns();
    const DWORD start = GetTickCount();
    EXPECT_EQ(RunChild("0 3000", 1), 0u);
    const DWORD wall = GetTickCount() - start;
    const uint64_t cpu = ProcessCpu100ns() - cpuStart;
    EXPECT_GE(wall, 2900u);
    // Under 10% of one processor over the wait.
    EXPECT_LT(cpu, static_cast<uint64_t>(wall) * 10000u / 10u)
        << "cpu " << cpu / 10000 << " ms over " << wall << " ms";
    std::printf("processor time while waiting %u ms: %u ms\n", static_cast<unsigned>(wall),
                static_cast<unsigned>(cpu / 10000));
}

}  // namespace
