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

TempFolder::TempFolder(const char* tag) {
    char temp[MAX_PATH] = {0};
    GetTempPathA(sizeof temp, temp);
    path = std::string(temp) + "velwin_" + tag + "_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
}

namespace {
void RemoveFiles(const std::string& folder, int depth) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string full = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth > 0) RemoveFiles(full, depth - 1);
            RemoveDirectoryA(full.c_str());
        } else {
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(full.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
}  // namespace

TempFolder::~TempFolder() {
    RemoveFiles(path, 1);
    RemoveDirectoryA(path.c_str());
}

std::string TempFolder::Path(const std::string& name) const { return path + "\\" + name; }

bool TempFolder::Write(const std::string& name, const std::string& text) const {
    HANDLE file = CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}
