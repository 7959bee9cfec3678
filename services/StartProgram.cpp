#include "services/StartProgram.h"

#include <windows.h>
#include <shellapi.h>

#include "services/LogRouting.h"
#include "services/LogText.h"
#include "services/WaitPump.h"

namespace {
// The pump period of the wait, in milliseconds.
const int32_t kPumpPeriod = 100;

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

// A started program's process: waited for now, kept for later, or closed.
uint32_t Started(HANDLE process, int32_t wait, WAIT_PUMP* pump, H_PROCESS* kept) {
    H_PROCESS owner;
    owner.handle = process;
    if (wait != 0) return owner.Wait(pump);
    if (kept != nullptr) {
        kept->Close();
        kept->handle = owner.handle;
        owner.handle = nullptr;
    }
    return 1;
}

// Starts file with parameters (null or empty: none) through the shell's
// "open" verb, which asks the user for elevation when the program needs it,
// in the current directory; answers as StartProgram.
uint32_t StartThroughShell(const char* file, const char* parameters, int32_t wait,
                           WAIT_PUMP* pump, int32_t* started, H_PROCESS* kept) {
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
    // The shell hands back no process when something else (a running
    // instance) took the request: started, with nothing to wait for.
    if (shell.hProcess == nullptr) {
        if (started != nullptr) *started = kStartedUnfollowed;
        return 1;
    }
    if (started != nullptr) *started = 1;
    return Started(shell.hProcess, wait, pump, kept);
}

}  // namespace

uint32_t H_PROCESS::Wait(WAIT_PUMP* pump) {
    if (handle == nullptr) return 1;
    for (;;) {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle, &code);
        // STILL_ACTIVE is also a program's own exit code 259: only the
        // signalled process handle tells that one apart from a running
        // program.
        if (code != STILL_ACTIVE || WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) {
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
            WaitForSingleObject(handle, kPumpPeriod - spent);
        }
    }
}

void H_PROCESS::Close() {
    if (handle == nullptr) return;
    CloseHandle(handle);
    handle = nullptr;
}

uint32_t StartProgram(const char* application, char* commandLine, int32_t wait, WAIT_PUMP* pump,
                      int32_t* started, ProcessCreator create, H_PROCESS* kept, uint32_t flags) {
    if (started != nullptr) *started = 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // No STARTF_USESHOWWINDOW: the program shows its first window its own way.
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!create(application, commandLine, nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                &startup, &process)) {
        const DWORD error = GetLastError();
        if (error == kErrorElevationRequired) {
            const char* arguments = commandLine != nullptr ? ArgumentsOf(commandLine) : nullptr;
            return StartThroughShell(application, arguments, wait, pump, started, kept);
        }
        LogStartError(error);
        return 0;
    }
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (started != nullptr) *started = 1;
    return Started(process.hProcess, wait, pump, kept);
}

