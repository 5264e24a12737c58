// A thread that can be started, asked to stop and waited for. CPortableThread is the
// platform-neutral base; CWindowsThread (Win32) and CPosixThread (pthreads) implement it,
// and CPlatformThread names whichever this build has.
//
// The routine handed to Start receives the thread object itself. It must keep this
// protocol, which is what makes Stop a join:
//   take a guard on ThreadLock; set Started, then IsRunning; run the body until it sees
//   StopRequested (or ends for its own reasons); clear IsRunning; release the guard.
#pragma once

#include <cstdint>

#ifdef _WIN32
#define HVE_THREADCALL __stdcall
#else
#define HVE_THREADCALL
#endif

typedef uint32_t(HVE_THREADCALL* ThreadRoutine)(void* threadObject);

class CPortableThread {
public:
    virtual bool Start(ThreadRoutine routine, void* parameter, bool waitForStart) = 0;
    virtual void Stop() = 0;
    virtual void Terminate() = 0;

protected:
    CPortableThread() = default;
    ~CPortableThread() = default;
};

#ifdef _WIN32
#include "support/windows_thread.h"
using CPlatformThread = CWindowsThread;
#else
#include "support/posix_thread.h"
using CPlatformThread = CPosixThread;
#endif
