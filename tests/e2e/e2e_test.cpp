// The launcher end to end: setup executables made by velpack.exe from the
// stub, run as processes of their own with TMP and TEMP pointing at a
// folder of the test's, answered through their windows, and judged by what
// they leave on disk. The programs they start are copies of the probe
// (examples/demo/install.cpp), which writes "<its name>.report" with its
// command line and current directory; "exit<N>" and "sleep<N>" in a copy's
// name set its exit code and its run time.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/launcher/LauncherTestSupport.h"

namespace {

const char kStub[] = VEL_E2E_STUB;
const char kVelpack[] = VEL_E2E_VELPACK;
const char kProbe[] = VEL_E2E_PROBE;
const char kWork[] = VEL_E2E_WORK;
const char kCaption[] = "Velmar Informatique. Quillon 1.0a";
const DWORD kRunLimitMs = 60000;

// 1999-12-31 23:59:58 UTC.
const uint64_t kSourceTime = 125911583980000000ull;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// CMake writes the paths with forward slashes; programs report backslashes.
std::string Backslashed(const char* path) {
    std::string s = path;
    for (char& c : s) {
        if (c == '/') c = '\\';
    }
    return s;
}

// Runs a command line to its end; its exit code, or -1.
long RunToEnd(const std::string& commandLine, const char* environment = nullptr) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                        const_cast<char*>(environment), nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, kRunLimitMs);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

// How the test answers the launcher's windows.
enum class Answer { kNothing, kEnter, kEscape, kCloseBox, kMessageOk };

struct Outcome {
    long exitCode = -1;
    bool finished = false;
    bool confirmation = false;  // the confirmation dialog was seen
    std::string confirmationText;
    bool messageBox = false;
    std::string messageCaption;
    std::string messageText;
    double cpuMs = 0;
};

std::string Text(HWND window) {
    char text[600] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct Watch {
    DWORD pid;
    Answer answer;
    Outcome* outcome;
    bool answered;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM value) {
    Watch* watch = reinterpret_cast<Watch*>(value);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != watch->pid || !IsWindowVisible(window)) return TRUE;
    char cls[16] = {0};
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) != "#32770") return TRUE;
    if (HWND box = GetDlgItem(window, 0xFFFF)) {  // a message box's text
        watch->outcome->messageBox = true;
        watch->outcome->messageCaption = Text(window);
        watch->outcome->messageText = Text(box);
        if (watch->answer == Answer::kMessageOk && !watch->answered) {
            watch->answered = true;
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        }
        return TRUE;
    }
    const std::string text = Text(GetDlgItem(window, 20));
    if (text.rfind("Ce programme", 0) != 0) return TRUE;
    watch->outcome->confirmation = true;
    watch->outcome->confirmationText = text;
    if (watch->answered) return TRUE;
    switch (watch->answer) {
        case Answer::kEnter:
            watch->answered = true;
            PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
            break;
        case Answer::kEscape:
            watch->answered = true;
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
            break;
        case Answer::kCloseBox:
            watch->answered = true;
            PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        default:
            break;
    }
    return TRUE;
}

// The current environment with TMP and TEMP replaced.
std::string EnvironmentWithTemp(const std::string& temp) {
    std::string block;
    char* all = GetEnvironmentStringsA();
    for (const char* p = all; *p != 0; p += strlen(p) + 1) {
        const std::string entry = p;
        const std::string upper = [&] {
            std::string u = entry.substr(0, 5);
            for (char& c : u) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            return u;
        }();
        if (upper.rfind("TMP=", 0) == 0 || upper.rfind("TEMP=", 0) == 0) continue;
        block += entry + '\0';
    }
    FreeEnvironmentStringsA(all);
    block += "TMP=" + temp + '\0';
    block += "TEMP=" + temp + '\0';
    block += '\0';
    return block;
}

// One test's own place: a folder of payload files, a setup, a temp folder.
class Bench {
public:
    explicit Bench(const std::string& name, const std::string& tempName = "temp")
        : root(Backslashed(kWork) + "\\" + name) {
        RemoveTree(root);
        CreateDirectoryA(Backslashed(kWork).c_str(), nullptr);
        CreateDirectoryA(root.c_str(), nullptr);
        CreateDirectoryA(Source().c_str(), nullptr);
        temp = root + "\\" + tempName;
        CreateDirectoryA(temp.c_str(), nullptr);
    }
    ~Bench() { RemoveTree(root); }

    std::string Source() const { return root + "\\files"; }
    std::string Setup() const { return root + "\\setup.exe"; }
    std::string Extracted(const std::string& name = "") const {
        return temp + "\\tmp_vel" + (name.empty() ? "" : "\\" + name);
    }

    // A file of the payload, with a known modification time.
    void Add(const std::string& name, const std::string& content) {
        const std::string path = Source() + "\\" + name;
        ASSERT_TRUE(WriteWholeFile(path, content));
        SetTime(path);
    }
    // A copy of the probe under the given name.
    void AddProbe(const std::string& name) {
        const std::string path = Source() + "\\" + name;
        ASSERT_TRUE(CopyFileA(kProbe, path.c_str(), FALSE));
        SetTime(path);
    }
    void AddDescription(const std::string& title) {
        Add("app.ist", "[Produit]\r\nInstall=" + title + "\r\n");
    }

    // velpack make from the folder (extra: further options).
    void Make(const std::string& extra = "") {
        const long code = RunToEnd(Quote(kVelpack) + " make --stub " + Quote(kStub) + " " +
                                   Quote(Source()) + " -o " + Quote(Setup()) + " " + extra);
        ASSERT_EQ(code, 0) << "velpack make";
    }

    Outcome Run(const std::string& arguments, Answer answer) const {
        Outcome outcome;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::string line = Quote(Setup()) + (arguments.empty() ? "" : " " + arguments);
        const std::string environment = EnvironmentWithTemp(temp);
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0,
                            const_cast<char*>(environment.data()), root.c_str(), &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start " << line;
            return outcome;
        }
        Watch watch{process.dwProcessId, answer, &outcome, false};
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
            EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&watch));
            if (GetTickCount() - start > kRunLimitMs) {
                TerminateProcess(process.hProcess, 99);
                ADD_FAILURE() << "the launcher did not end: " << line;
                break;
            }
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        outcome.exitCode = static_cast<long>(code);
        outcome.finished = true;
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user)) {
            auto ms = [](const FILETIME& t) {
                return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
            };
            outcome.cpuMs = ms(kernel) + ms(user);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return outcome;
    }

    // The report a probe wrote in the extraction folder, once it exists
    // (install.exe is started without waiting for it).
    std::string Report(const std::string& program) const {
        const std::string path = Extracted(program + ".report");
        for (int i = 0; i < 200 && !FileExists(path); ++i) Sleep(25);
        Sleep(50);
        return ReadWholeFile(path);
    }
    // The line of a report that starts with key.
    std::string ReportLine(const std::string& program, const std::string& key) const {
        const std::string report = Report(program);
        const size_t at = report.find(key + ": ");
        if (at == std::string::npos) return "(no " + key + ")";
        const size_t end = report.find("\r\n", at);
        return report.substr(at + key.size() + 2, end - at - key.size() - 2);
    }

    std::string root;
    std::string temp;

private:
    static void SetTime(const std::string& path) {
        HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        FILETIME t;
        t.dwLowDateTime = static_cast<DWORD>(kSourceTime);
        t.dwHighDateTime = static_cast<DWORD>(kSourceTime >> 32);
        SetFileTime(h, nullptr, nullptr, &t);
        CloseHandle(h);
    }
};

// --- The four rows of the installation sequence ---------------------------

TEST(Launcher, TitleAndProgramThatFailsRunsBothPrograms) {
    Bench b("title-program");
    b.AddDescription("Produit d\xE9mo");
    b.AddProbe("AutoInst_exit3.exe");
    b.AddProbe("install.exe");
    b.Make();
    const Outcome o = b.Run("", Answer::kEnter);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_TRUE(o.confirmation);
    EXPECT_EQ(o.confirmationText, "Ce programme va lancer l'installation de :\r\n\r\nProduit d\xE9mo");
    EXPECT_EQ(b.ReportLine("AutoInst_exit3.exe", "current directory"), b.Extracted());
    EXPECT_EQ(b.ReportLine("install.exe", "current directory"), b.Extracted());
}

TEST(Launcher, TitleAndProgramThatSucceedsLeavesInstallExeAlone) {
    Bench b("title-program-ok");
    b.AddDescription("Produit");
    b.AddProbe("AutoInst_exit0.exe");
    b.AddProbe("install.exe");
    b.Make();
    const Outcome o = b.Run("auto=1", Answer::kNothing);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_NE(b.Report("AutoInst_exit0.exe"), "");
    Sleep(500);
    EXPECT_FALSE(FileExists(b.Extracted("install.exe.report")));
}

TEST(Launcher, TitleAloneStartsInstallExe) {
    Bench b("title");
    b.AddDescription("Produit");
    b.AddProbe("install.exe");
    b.Add("readme.txt", "lisez-moi");
    b.Make();
    const Outcome o = b.Run("", Answer::kEnter);
    EXPECT_TRUE(o.confirmation);
    EXPECT_EQ(b.ReportLine("install.exe", "command line"),
              Quote(b.Extracted("install.exe")));  // no arguments: no trailing blank
}

TEST(Launcher, ProgramAloneAsksNothingAndDoesNotStartInstallExe) {
    Bench b("program");
    b.AddProbe("AutoInst_exit5.exe");
    b.AddProbe("install.exe");
    b.Make();
    const Outcome o = b.Run("", Answer::kNothing);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_FALSE(o.confirmation);
    EXPECT_NE(b.Report("AutoInst_exit5.exe"), "");
    Sleep(500);
    EXPECT_FALSE(FileExists(b.Extracted("install.exe.report")));
}

TEST(Launcher, NeitherTitleNorProgramShowsTheMessageAndWritesNothing) {
    Bench b("neither");
    b.Add("readme.txt", "rien");
    b.AddProbe("install.exe");
    b.Make();
    const Outcome o = b.Run("auto=1", Answer::kMessageOk);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_TRUE(o.messageBox);
    EXPECT_EQ(o.messageCaption, kCaption);
    EXPECT_EQ(o.messageText, "Aucune information d'installation !");
    EXPECT_FALSE(FolderExists(b.Extracted()));
}

// --- Command lines and answers ----------------------------------------------

TEST(Launcher, AutoOneNeedsNoAnswerAndIsPassedOn) {
    Bench b("auto");
    b.AddDescription("Produit");
    b.AddProbe("install.exe");
    b.Make();
    const Outcome o = b.Run("/x auto=1", Answer::kNothing);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(b.ReportLine("install.exe", "command line"),
              Quote(b.Extracted("install.exe")) + " /x auto=1");
}

TEST(Launcher, EscapeAndTheCloseBoxQuitWithoutExtracting) {
    for (Answer answer : {Answer::kEscape, Answer::kCloseBox}) {
        Bench b("quit");
        b.AddDescription("Produit");
        b.AddProbe("install.exe");
        b.Make();
        const Outcome o = b.Run("", answer);
        EXPECT_TRUE(o.confirmation);
        EXPECT_EQ(o.exitCode, 0);
        EXPECT_FALSE(FolderExists(b.Extracted()));
    }
}

TEST(Launcher, ATemporaryFolderWithBlanksStillStartsInstallExe) {
    Bench b("blanks", "temp with blanks");
    b.AddDescription("Produit");
    b.AddProbe("install.exe");
    b.Make();
    b.Run("auto=1 \"quoted arg\"", Answer::kNothing);
    EXPECT_EQ(b.ReportLine("install.exe", "command line"),
              Quote(b.Extracted("install.exe")) + " auto=1 \"quoted arg\"");
}

// --- The extraction folder ---------------------------------------------------

TEST(Launcher, EmptiesWhatAnEarlierRunLeftAndRestoresTimes) {
    Bench b("rerun");
    b.AddDescription("Produit");
    b.AddProbe("install.exe");
    b.Add("data.bin", std::string(100000, 'd'));
    b.Make();
    CreateDirectoryA(b.Extracted().c_str(), nullptr);
    for (int i = 0; i < 45; ++i) {
        const std::string path = b.Extracted("old" + std::to_string(i) + ".txt");
        ASSERT_TRUE(WriteWholeFile(path, "old"));
        if (i % 10 == 0) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    CreateDirectoryA(b.Extracted("keep").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(b.Extracted("keep\\inner.txt"), "inner"));

    b.Run("auto=1", Answer::kNothing);
    b.Report("install.exe");
    EXPECT_EQ(FolderNames(b.Extracted()),
              (std::vector<std::string>{"app.ist", "data.bin", "install.exe",
                                        "install.exe.report", "keep\\"}));
    EXPECT_EQ(ReadWholeFile(b.Extracted("keep\\inner.txt")), "inner");
    for (const char* name : {"app.ist", "data.bin", "install.exe"}) {
        EXPECT_EQ(LastWriteTime(b.Extracted(name)), kSourceTime) << name;
    }
    EXPECT_EQ(ReadWholeFile(b.Extracted("data.bin")), std::string(100000, 'd'));
}

TEST(Launcher, ADamagedThirdEntryStopsTheWritingButTheRunGoesOn) {
    Bench b("damaged");
    b.AddDescription("Produit");
    b.AddProbe("install.exe");
    b.Add("c.txt", "third");
    b.Add("d.txt", "fourth");
    ASSERT_TRUE(WriteWholeFile(b.root + "\\order.txt", "app.ist\ninstall.exe\nc.txt\nd.txt\n"));
    b.Make("--stored --plain-names --order " + Quote(b.root + "\\order.txt"));
    // Find the third record's content in the setup and alter one byte of it.
    std::string setup = ReadWholeFile(b.Setup());
    const size_t at = setup.find("third");
    ASSERT_NE(at, std::string::npos);
    setup[at] ^= 0x20;
    ASSERT_TRUE(WriteWholeFile(b.Setup(), setup));
    const Outcome o = b.Run("auto=1", Answer::kNothing);
    EXPECT_EQ(o.exitCode, 0);
    b.Report("install.exe");
    EXPECT_EQ(FolderNames(b.Extracted()),
              (std::vector<std::string>{"app.ist", "install.exe", "install.exe.report"}));
}

TEST(Launcher, NamesThatWouldLeaveTheFolderAreNotWritten) {
    Bench b("escape");
    // velpack refuses such names: the payload is made by hand, then bound.
    TestPayload payload;
    payload.Stored("app.ist", "Install=Produit\r\n")
        .Stored("..\\outside.txt", "x")
        .Stored("C:outside2.txt", "x")
        .Stored(b.temp + "\\outside3.txt", "x")
        .Stored("inside.txt", "in");
    const std::string payloadPath = b.root + "\\payload.bin";
    ASSERT_TRUE(WriteWholeFile(payloadPath,
                               std::string(payload.image.begin(), payload.image.end())));
    ASSERT_EQ(RunToEnd(Quote(kVelpack) + " make --stub " + Quote(kStub) + " " +
                       Quote(payloadPath) + " -o " + Quote(b.Setup())),
              0);
    const Outcome o = b.Run("auto=1", Answer::kNothing);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(FolderNames(b.temp), (std::vector<std::string>{"tmp_vel\\"}));
    EXPECT_EQ(FolderNames(b.Extracted()), (std::vector<std::string>{"app.ist", "inside.txt"}));
}

// --- Waiting -----------------------------------------------------------------

TEST(Launcher, WaitingForAProgramCostsAlmostNoProcessor) {
    double cpu[2];
    const char* programs[2] = {"AutoInst_exit0.exe", "AutoInst_sleep3000_exit0.exe"};
    for (int i = 0; i < 2; ++i) {
        Bench b("wait" + std::to_string(i));
        b.AddProbe(programs[i]);
        b.Make();
        const DWORD start = GetTickCount();
        const Outcome o = b.Run("", Answer::kNothing);
        ASSERT_TRUE(o.finished);
        if (i == 1) {
            ASSERT_GE(GetTickCount() - start, 3000u);
        }
        cpu[i] = o.cpuMs;
    }
    // Less than 5% of one core over the three seconds of waiting.
    std::printf("launcher processor time: %.0f ms, %.0f ms with a 3 s wait\n", cpu[0], cpu[1]);
    RecordProperty("waiting_processor_ms", static_cast<int>(cpu[1] - cpu[0]));
    EXPECT_LT(cpu[1] - cpu[0], 150.0) << cpu[0] << " ms without, " << cpu[1] << " ms with";
}

}  // namespace
