// POSIX twin of CWindowsThread: same fields, same answers, on pthreads.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "support/critical_section.h"

class CPosixThread : public CPortableThread {
public:
    CPosixThread();
    ~CPosixThread();
    CPosixThread(const CPosixThread&) = delete;
    CPosixThread& operator=(const CPosixThread&) = delete;

    // Answers true at once when a body is running; false when the thread cannot be made.
    bool Start(ThreadRoutine routine, void* parameter, bool waitForStart) override;
    // Asks the body to stop and returns once it has ended (and the thread is joined).
    void Stop() override;
    // Cancels the thread outright. Nothing in the extension calls it.
    void Terminate() override;

    std::atomic<bool> IsRunning;
    std::atomic<bool> StopRequested;
    std::atomic<bool> Started;
    void* ThreadParameter;
    CCriticalSection ThreadLock;
    std::atomic<uint32_t> ThreadId;

private:
    struct Launch {
        ThreadRoutine Routine;
        CPosixThread* Thread;
    };
    static void* Trampoline(void* launch);
    void JoinFinished();

    pthread_t ThreadHandle;
    bool HaveHandle;
    // Set once the routine has returned: until then a body exists, even in the moment
    // between Started and IsRunning.
    std::atomic<bool> RoutineReturned;
    Launch Pending;
};
