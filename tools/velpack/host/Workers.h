// Runs independent jobs on every processor of the host: std::thread where
// the runtime has it, Win32 threads on Windows (whose GCC runtime, in the
// win32 thread model, has no std::thread).
#ifndef VEL_VELPACK_WORKERS_H
#define VEL_VELPACK_WORKERS_H

#include <cstddef>
#include <functional>

// Calls job(i) once for every i below count, from up to as many threads as
// the host has processors, the calling thread included; after(i) runs on the
// calling thread as each of its own jobs ends (for progress). Jobs are taken
// in index order. An exception thrown by a job is thrown again here once all
// threads have stopped.
void RunJobs(size_t count, const std::function<void(size_t)>& job,
             const std::function<void()>& after);

#endif
