// The worker thread on Win32: CreateThread, Sleep(0) while waiting for the start, and a
// critical section held by the body for its whole run.
//
// Stop is a join: it waits for the body to let go of ThreadLock and then for the system
// thread to end, since the body's last instructions are still this module's code and the
// host may unload the module as soon as Stop returns. The one place that must not wait is
// the module's unload itself (the loader lock is held there, and a thread cannot finish
// ending without it); the thread routine therefore holds a reference on its module, so an
// unload cannot unmap the code a running thread executes.
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

    // Called by the module's entry on process detach, before the static objects go. While
    // the module unloads no thread object waits for its thread; when the whole process
    // ends (its other threads are gone, and so may be the owners of their locks) the
    // thread objects touch nothing at all.
    static void NoteModuleDetaching(bool processEnding);

    std::atomic<bool> IsRunning;
    std::atomic<bool> StopRequested;
    std::atomic<bool> Started;
    void* ThreadParameter;
    CCriticalSection ThreadLock;
    std::atomic<uint32_t> ThreadId;
    HANDLE ThreadHandle;

private:
    static DWORD WINAPI Trampoline(LPVOID threadObject);
    void StopBody();
    void ReleaseHandle();

    ThreadRoutine Routine;
    HMODULE PinnedModule; // the module the routine's code lives in, held while it runs
};
