#include "tools/velpack/host/ChildProcess.h"

#include <system_error>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/host/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/host/Win32Handle.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#endif

const char kChildNotFound[] = "not found";

#ifdef _WIN32

namespace {

std::wstring Quoted(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\n\v\"") == std::wstring::npos) return a;
    std::wstring q = L"\"";
    size_t i = 0;
    for (;;) {
        size_t backslashes = 0;
        while (i < a.size() && a[i] == L'\\') {
            ++i;
            ++backslashes;
        }
        if (i == a.size()) {
            // They stand before the closing quote: each one doubled.
            q.append(2 * backslashes, L'\\');
            break;
        }
        q.append(a[i] == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        q += a[i++];
    }
    return q + L"\"";
}

// The program's path: as given when it names a folder, else found in a
// folder of PATH. Only there: Windows' own search order tries velpack's
// folder and the current one first, and a download folder may hold any
// program of that name.
bool ProgramPath(const std::string& program, std::wstring* path, std::string* error) {
    if (program.find_first_of("\\/:") != std::string::npos) {
        *path = WidePath(program);
        return true;
    }
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return Fail(error, kChildNotFound);
    std::wstring folders(size, L'\0');
    folders.resize(GetEnvironmentVariableW(L"PATH", &folders[0], size));
    const std::wstring name = WidePath(program + ".exe");
    wchar_t found[32768];
    const DWORD n = SearchPathW(folders.c_str(), name.c_str(), nullptr, 32768, found, nullptr);
    if (n == 0 || n >= 32768) return Fail(error, kChildNotFound);
    path->assign(found, n);
    return true;
}

}  // namespace

std::wstring WindowsCommandLine(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (const std::wstring& a : arguments) {
        if (!line.empty()) line += L' ';
        line += Quoted(a);
    }
    return line;
}

bool RunChild(const std::string& program, const std::vector<std::string>& arguments,
              ChildOutcome* outcome, std::string* error) {
    std::wstring path;
    if (!ProgramPath(program, &path, error)) return false;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE ends[2];
    if (!CreatePipe(&ends[0], &ends[1], &inherited, 0)) return SystemFailure(error);
    const Win32Handle readEnd(ends[0]);
    Win32Handle writeEnd(ends[1]);
    if (!SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0)) return SystemFailure(error);
    Win32Handle nothing(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherited, OPEN_EXISTING, 0, nullptr));
    if (!nothing.Valid()) return SystemFailure(error);
    std::vector<std::wstring> wide{path};
    for (const std::string& a : arguments) wide.push_back(WidePath(a));
    std::wstring line = WindowsCommandLine(wide);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing.Get();
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    PROCESS_INFORMATION process = {};
    // No console: a program that would ask on one reads the null device.
    if (!CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, TRUE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process)) {
        return SystemFailure(error);
    }
    const Win32Handle processHandle(process.hProcess);
    const Win32Handle threadHandle(process.hThread);
    // Only the child holds the write end now: the reads end when it does.
    writeEnd.Close();
    nothing.Close();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &got, nullptr) && got != 0) {
        outcome->output.append(buffer, got);
    }
    WaitForSingleObject(processHandle.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(processHandle.Get(), &code);
    outcome->exitCode = static_cast<int>(code);
    return true;
}

#else

namespace {

class OwnedDescriptor {
public:
    OwnedDescriptor() = default;
    ~OwnedDescriptor() { Close(); }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fd = -1;
};

class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

}  // namespace

bool RunChild(const std::string& program, const std::vector<std::string>& arguments,
              ChildOutcome* outcome, std::string* error) {
    OwnedDescriptor readEnd, writeEnd;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return SystemFailure(error);
    readEnd.fd = ends[0];
    writeEnd.fd = ends[1];
    SpawnSetup setup;
    // The copies on 1 and 2 stay open across exec, the originals do not.
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.fd, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.fd, 2);
    // A session of its own has no controlling terminal to prompt on.
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    if (spawned != 0) {
        return Fail(error, spawned == ENOENT ? kChildNotFound
                                             : std::generic_category().message(spawned));
    }
    writeEnd.Close();
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(readEnd.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        outcome->output.append(buffer, static_cast<size_t>(got));
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

#endif
