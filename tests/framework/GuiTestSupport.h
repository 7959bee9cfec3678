// What the Windows tests of the framework need to run real windows, dialogs,
// message boxes and processes without ever hanging.
#ifndef VEL_TESTS_GUITESTSUPPORT_H
#define VEL_TESTS_GUITESTSUPPORT_H

#include <windows.h>

#include <string>
#include <vector>

// While alive, answers every message box that appears on this thread (OK)
// and records its caption and text. After its deadline it ends every dialog
// of the thread with -2 and posts WM_QUIT, so that a modal loop or a message
// loop that would wait forever ends, and marks itself expired. It works
// through a thread timer, so only while the thread pumps messages.
class GuiGuard {
public:
    struct Box {
        std::string caption;
        std::string text;
        HWND owner;
    };

    explicit GuiGuard(DWORD deadlineMs = 10000);
    ~GuiGuard();
    GuiGuard(const GuiGuard&) = delete;
    GuiGuard& operator=(const GuiGuard&) = delete;

    std::vector<Box> boxes;
    bool expired;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK Visit(HWND window, LPARAM guard);

    UINT_PTR timer_;
    DWORD deadline_;
    std::vector<HWND> answered_;
    static GuiGuard* active_;
};

// Dispatches the thread's messages until handle is signalled (true) or
// timeoutMs have passed (false).
bool WaitPumping(HANDLE handle, DWORD timeoutMs);

// Dispatches the thread's messages for milliseconds.
void PumpMessages(DWORD milliseconds);

// The path of a program that lies beside the running test program.
std::string SiblingPath(const char* name);

// Counts the ticks of a thread timer of periodMs while it lives: a wait
// that serves the queue sees them, one that does not sees none. One counter
// at a time.
class TickCounter {
public:
    explicit TickCounter(UINT periodMs);
    ~TickCounter();
    TickCounter(const TickCounter&) = delete;
    TickCounter& operator=(const TickCounter&) = delete;

    int Ticks() const { return ticks_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    UINT_PTR timer_;
    static int ticks_;
};

// Whole files and folders, by ANSI paths.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& data);
// The names in a folder (subfolders end with "\"), "." and ".." left out,
// sorted.
std::vector<std::string> FolderNames(const std::string& folder);
// Removes a folder with everything in it, read-only files included.
void RemoveTree(const std::string& folder);

// A new empty folder under the temporary directory, removed with its whole
// tree at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // path + "\\" + name
    std::string Path(const std::string& name) const { return path + "\\" + name; }
    // Creates a file holding text; true on success.
    bool Write(const std::string& name, const std::string& text) const {
        return WriteWholeFile(Path(name), text);
    }

    std::string path;
};

#endif
