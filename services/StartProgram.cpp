#include "services/StartProgram.h"

#include <windows.h>

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
}  // namespace

uint32_t StartProgram(const char* application, char* commandLine, int32_t wait,
                      WAIT_PUMP* pump) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // No STARTF_USESHOWWINDOW: the program shows its first window its own way.
    startup.wShowWindow = SW_SHOW;
    ProcessHandles process;
    if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, process.Info())) {
        FormatLogText(LogTextBuffer, sizeof LogTextBuffer, "Erreur CreateProcess ",
                      static_cast<int32_t>(GetLastError()));
        SendLog(kLogProcess, LogTextBuffer);
        return 0;
    }
    if (wait == 0) return 1;
    for (;;) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.Process(), &code);
        // STILL_ACTIVE is also a program's own exit code 259: only the
        // signalled process handle tells that one apart from a running
        // program.
        if (code != STILL_ACTIVE ||
            WaitForSingleObject(process.Process(), 0) == WAIT_OBJECT_0) {
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
            WaitForSingleObject(process.Process(), kPumpPeriod - spent);
        }
    }
}
