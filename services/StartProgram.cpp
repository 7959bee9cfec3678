#include "services/StartProgram.h"

#include <windows.h>
#include <shellapi.h>

#include "services/LogRouting.h"
#include "services/LogText.h"
#include "services/WaitPump.h"

namespace {
// The pump period of the wait, in milliseconds.
const int32_t kPumpPeriod = 100;

// Owns the two handles that CreateProcessA hands back.
class ProcessHandles {
public:
    ProcessHandles() : info_{} {}
    ~ProcessHandles() {
        if (info_.hThread != nullptr) CloseHandle(info_.hThread);
        if (info_.hProcess != nullptr) CloseHandle(info_.hProcess);
    }
    ProcessHandles(const ProcessHandles&) = delete;
    ProcessHandles& operator=(const ProcessHandles&) = delete;
    PROCESS_INFORMATION* Info() { return &info_; }
    HANDLE Process() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_;
};

// Waits for process to end, the pump serving the queue for 100 ms between
// two looks; its exit code.
uint32_t WaitForProgram(HANDLE process, WAIT_PUMP* pump) {
    for (;;) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process, &code);
        // STILL_ACTIVE is also a program's own exit code 259: only the
        // signalled process handle tells that one apart from a running
        // program.
        if (code != STILL_ACTIVE || WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            return code;
        }
        // GetTickCount wraps after 49 days; the unsigned difference does not
        // mind.
        const DWORD start = GetTickCount();
        if (pump != nullptr) pump->PumpFor(kPumpPeriod);
        // Whatever part of the period the pump did not spend (it may return
        // at once) is spent waiting on the process, never spinning.
        const DWORD spent = GetTickCount() - start;
        if (spent < static_cast<DWORD>(kPumpPeriod)) {
            WaitForSingleObject(process, kPumpPeriod - spent);
        }
    }
}

// The arguments of a command line: what follows the program, quoted or not,
// and the blanks behind it.
const char* ArgumentsOf(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != 0 && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

void LogStartError(DWORD error) {
    FormatLogText(LogTextBuffer, sizeof LogTextBuffer, "Erreur CreateProcess ",
                  static_cast<int32_t>(error));
    SendLog(kLogProcess, LogTextBuffer);
}

}  // namespace

uint32_t StartProgram(const char* application, char* commandLine, int32_t wait, WAIT_PUMP* pump,
                      int32_t* started, ProcessCreator create) {
    if (started != nullptr) *started = 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // No STARTF_USESHOWWINDOW: the program shows its first window its own way.
    startup.wShowWindow = SW_SHOW;
    ProcessHandles process;
    if (!create(application, commandLine, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                nullptr, &startup, process.Info())) {
        const DWORD error = GetLastError();
        if (error == kErrorElevationRequired) {
            const char* arguments = commandLine != nullptr ? ArgumentsOf(commandLine) : nullptr;
            return StartThroughShell(application, arguments, wait, pump, started);
        }
        LogStartError(error);
        return 0;
    }
    if (started != nullptr) *started = 1;
    if (wait == 0) return 1;
    return WaitForProgram(process.Process(), pump);
}

uint32_t StartThroughShell(const char* file, const char* parameters, int32_t wait,
                           WAIT_PUMP* pump, int32_t* started) {
    if (started != nullptr) *started = 0;
    SHELLEXECUTEINFOA shell = {};
    shell.cbSize = sizeof shell;
    // No error box of the shell's: the caller reports failures its own way.
    // (The consent prompt of an elevation is not one: it still shows.)
    shell.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    shell.lpVerb = "open";
    shell.lpFile = file;
    shell.lpParameters = parameters != nullptr && parameters[0] != 0 ? parameters : nullptr;
    shell.nShow = SW_SHOW;
    if (!ShellExecuteExA(&shell)) {
        LogStartError(GetLastError());
        return 0;
    }
    if (started != nullptr) *started = 1;
    // The shell hands back no process when something else (a running
    // instance) took the request: started, with nothing to wait for.
    if (shell.hProcess == nullptr) return 1;
    uint32_t result = 1;
    if (wait != 0) result = WaitForProgram(shell.hProcess, pump);
    CloseHandle(shell.hProcess);
    return result;
}
