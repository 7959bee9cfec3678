#include "tests/framework/GuiTestSupport.h"

#include <algorithm>

GuiGuard* GuiGuard::active_ = nullptr;

namespace {
// Message boxes hold their text in a static control with this identifier.
const int kMessageBoxTextId = 0xFFFF;
const UINT kTickMs = 25;

std::string WindowText(HWND window) {
    char text[1024] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool IsDialogWindow(HWND window) {
    char name[16] = {0};
    GetClassNameA(window, name, sizeof name);
    return std::string(name) == "#32770";
}
}  // namespace

GuiGuard::GuiGuard(DWORD deadlineMs)
    : expired(false), timer_(0), deadline_(GetTickCount() + deadlineMs) {
    active_ = this;
    timer_ = SetTimer(nullptr, 0, kTickMs, Tick);
}

GuiGuard::~GuiGuard() {
    KillTimer(nullptr, timer_);
    active_ = nullptr;
}

void CALLBACK GuiGuard::Tick(HWND, UINT, UINT_PTR, DWORD) {
    GuiGuard* guard = active_;
    if (guard == nullptr) return;
    EnumThreadWindows(GetCurrentThreadId(), Visit, reinterpret_cast<LPARAM>(guard));
    if (!guard->expired && static_cast<LONG>(GetTickCount() - guard->deadline_) > 0) {
        guard->expired = true;
        PostQuitMessage(0);
    }
}

BOOL CALLBACK GuiGuard::Visit(HWND window, LPARAM value) {
    GuiGuard* guard = reinterpret_cast<GuiGuard*>(value);
    if (!IsDialogWindow(window)) return TRUE;
    if (guard->expired) {
        EndDialog(window, -2);
        return TRUE;
    }
    HWND text = GetDlgItem(window, kMessageBoxTextId);
    if (text == nullptr) return TRUE;
    if (std::find(guard->answered_.begin(), guard->answered_.end(), window) !=
        guard->answered_.end()) {
        return TRUE;
    }
    guard->answered_.push_back(window);
    guard->boxes.push_back({WindowText(window), WindowText(text), GetWindow(window, GW_OWNER)});
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        const DWORD r = MsgWaitForMultipleObjectsEx(1, &handle, timeoutMs - spent, QS_ALLINPUT,
                                                    MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0) return true;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void PumpMessages(DWORD milliseconds) {
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WaitPumping(never, milliseconds);
    CloseHandle(never);
}

std::string SiblingPath(const char* name) {
    char self[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path(self);
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

int TickCounter::ticks_ = 0;

TickCounter::TickCounter(UINT periodMs) {
    ticks_ = 0;
    timer_ = SetTimer(nullptr, 0, periodMs, Tick);
}

TickCounter::~TickCounter() { KillTimer(nullptr, timer_); }

void CALLBACK TickCounter::Tick(HWND, UINT, UINT_PTR, DWORD) { ++ticks_; }

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string data(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!data.empty()) ReadFile(h, &data[0], static_cast<DWORD>(data.size()), &got, nullptr);
    CloseHandle(h);
    data.resize(got);
    return data;
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == data.size();
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
    } while (FindNextFileA(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& folder) {
    for (const std::string& name : FolderNames(folder)) {
        const std::string path = folder + "\\" + name;
        if (name.back() == '\\') {
            RemoveTree(path.substr(0, path.size() - 1));
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

TempFolder::TempFolder(const std::string& tag) {
    char temp[MAX_PATH] = {0};
    GetTempPathA(sizeof temp, temp);
    path = std::string(temp) + "vel-" + tag + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(path);
    CreateDirectoryA(path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path); }
