#include "tools/velpack/host/Workers.h"

#include <atomic>
#include <exception>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

namespace {

struct JobQueue {
    size_t count;
    const std::function<void(size_t)>* job;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;  // the first failure, written once
    std::atomic<bool> errorTaken{false};

    // Runs jobs until none is left or one failed; answers after each job.
    void Drain(const std::function<void()>* after) {
        for (;;) {
            if (failed.load()) return;
            const size_t i = next.fetch_add(1);
            if (i >= count) return;
            try {
                (*job)(i);
            } catch (...) {
                if (!errorTaken.exchange(true)) error = std::current_exception();
                failed.store(true);
                return;
            }
            if (after != nullptr) (*after)();
        }
    }
};

unsigned Processors() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
#else
    return std::thread::hardware_concurrency();
#endif
}

#ifdef _WIN32
DWORD WINAPI HelperThread(LPVOID queue) {
    static_cast<JobQueue*>(queue)->Drain(nullptr);
    return 0;
}
#endif

}  // namespace

void RunJobs(size_t count, const std::function<void(size_t)>& job,
             const std::function<void()>& after) {
    JobQueue queue;
    queue.count = count;
    queue.job = &job;
    unsigned processors = Processors();
    size_t helpers = processors > 1 ? processors - 1 : 0;
    if (helpers > count) helpers = count;
#ifdef _WIN32
    std::vector<HANDLE> threads;
    for (size_t i = 0; i < helpers; ++i) {
        HANDLE h = CreateThread(nullptr, 0, HelperThread, &queue, 0, nullptr);
        if (h != nullptr) threads.push_back(h);  // fewer helpers is still right
    }
    queue.Drain(&after);
    for (HANDLE h : threads) {
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    }
#else
    std::vector<std::thread> threads;
    for (size_t i = 0; i < helpers; ++i) threads.emplace_back([&queue] { queue.Drain(nullptr); });
    queue.Drain(&after);
    for (std::thread& t : threads) t.join();
#endif
    if (queue.error) std::rethrow_exception(queue.error);
}
