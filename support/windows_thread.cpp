#include "support/portable_thread.h"

CWindowsThread::CWindowsThread()
    : IsRunning(false), StopRequested(false), Started(false), ThreadParameter(nullptr), ThreadId(0),
      ThreadHandle(nullptr)
{
}

CWindowsThread::~CWindowsThread()
{
    if (IsRunning.load()) {
        Stop();
    }
    // The module's static client is destroyed while the loader lock is held (process
    // detach), and a thread cannot finish ending without that lock: waiting for it here
    // would never return. The body has left its lock already; closing the handle suffices.
    if (ThreadHandle != nullptr) {
        CloseHandle(ThreadHandle);
        ThreadHandle = nullptr;
    }
}

// The previous body has cleared IsRunning and is returning; wait for it so the handle can
// be closed instead of leaking one per session.
void CWindowsThread::ReleaseHandle()
{
    if (ThreadHandle != nullptr && GetThreadId(ThreadHandle) != GetCurrentThreadId()) {
        WaitForSingleObject(ThreadHandle, INFINITE);
        CloseHandle(ThreadHandle);
        ThreadHandle = nullptr;
    }
}

bool CWindowsThread::Start(ThreadRoutine routine, void* parameter, bool waitForStart)
{
    if (IsRunning.load()) {
        return true;
    }
    // A thread that has not returned is either about to set IsRunning (then its body runs
    // on, and waiting for it would wait for a body that ends only when asked to) or about to
    // return after clearing it (then a new body is wanted). Which one shows in a moment.
    while (ThreadHandle != nullptr && WaitForSingleObject(ThreadHandle, 0) == WAIT_TIMEOUT) {
        if (IsRunning.load()) {
            return true;
        }
        Sleep(0);
    }
    ReleaseHandle();
    ThreadParameter = parameter;
    StopRequested.store(false);
    Started.store(false);

    DWORD id = 0;
    ThreadHandle = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(routine), this, 0, &id);
    ThreadId.store(id);
    if (ThreadHandle == nullptr) {
        return false;
    }
    if (waitForStart) {
        while (!Started.load()) {
            Sleep(0);
        }
    }
    return true;
}

void CWindowsThread::Stop()
{
    StopRequested.store(true);
    ThreadLock.Enter();
    ThreadId.store(0);
    ThreadLock.Leave();
}

void CWindowsThread::Terminate()
{
    if (ThreadHandle != nullptr) {
        TerminateThread(ThreadHandle, 0);
    }
    IsRunning.store(false);
}
