// The worker thread on Win32: CreateThread, Sleep(0) while waiting for the start, and a
// critical section held by the body for its whole run, which makes Stop a join.
#pragma once

#include <atomic>
#include <cstdint>

#include "support/critical_section.h"

class CWindowsThread : public CPortableThread {
public:
    CWindowsThread();
    ~CWindowsThread();
    CWindowsThread(const CWindowsThread&) = delete;
    CWindowsThread& operator=(const CWindowsThread&) = delete;

    bool Start(ThreadRoutine routine, void* parameter, bool waitForStart) override;
    void Stop() override;
    // Kills the system thread with exit code 0. Nothing in the extension calls it.
    void Terminate() override;

    std::atomic<bool> IsRunning;
    std::atomic<bool> StopRequested;
    std::atomic<bool> Started;
    void* ThreadParameter;
    CCriticalSection ThreadLock;
    std::atomic<uint32_t> ThreadId;
    HANDLE ThreadHandle;

private:
    void ReleaseHandle();
};
