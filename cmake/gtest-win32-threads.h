// Forced into every GoogleTest translation unit of the Windows builds.
//
// We build with the compilers' win32 thread model (the posix model costs the
// product stub about 28 KB of winpthread). GCC 12's win32 model has no
// std::mutex or std::condition_variable, which GoogleTest uses for exactly one
// class, Notification; this gives it that class on an event object instead.
#ifndef VEL_GTEST_WIN32_THREADS_H
#define VEL_GTEST_WIN32_THREADS_H
#include <windows.h>
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing {
namespace internal {
class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};
}  // namespace internal
}  // namespace testing
#endif
