#include "support/portable_thread.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

CPosixThread::CPosixThread()
    : IsRunning(false), StopRequested(false), Started(false), ThreadParameter(nullptr), ThreadId(0),
      ThreadHandle(), HaveHandle(false), RoutineReturned(false),
      Pending{nullptr, nullptr}
{
}

CPosixThread::~CPosixThread()
{
    if (IsRunning.load()) {
        Stop();
    }
    JoinFinished();
}

void* CPosixThread::Trampoline(void* launch)
{
    Launch* start = static_cast<Launch*>(launch);
    start->Thread->ThreadId.store(static_cast<uint32_t>(syscall(SYS_gettid)));
    start->Routine(start->Thread);
    start->Thread->RoutineReturned.store(true);
    return nullptr;
}

// A body that has cleared IsRunning is about to return; joining it releases the system
// thread instead of leaving it to the process.
void CPosixThread::JoinFinished()
{
    if (HaveHandle && !pthread_equal(ThreadHandle, pthread_self())) {
        pthread_join(ThreadHandle, nullptr);
        HaveHandle = false;
    }
}

bool CPosixThread::Start(ThreadRoutine routine, void* parameter, bool waitForStart)
{
    if (IsRunning.load()) {
        return true;
    }
    // A thread that has not returned is either about to set IsRunning (then its body runs
    // on, and joining it would wait for a body that ends only when asked to) or about to
    // return after clearing it (then a new body is wanted). Which one shows in a moment.
    while (HaveHandle && !RoutineReturned.load()) {
        if (IsRunning.load()) {
            return true;
        }
        sched_yield();
    }
    JoinFinished();
    RoutineReturned.store(false);
    ThreadParameter = parameter;
    StopRequested.store(false);
    Started.store(false);

    Pending.Routine = routine;
    Pending.Thread = this;
    if (pthread_create(&ThreadHandle, nullptr, &CPosixThread::Trampoline, &Pending) != 0) {
        return false;
    }
    HaveHandle = true;

    if (waitForStart) {
        while (!Started.load()) {
            sched_yield();
        }
    }
    return true;
}

void CPosixThread::Stop()
{
    StopRequested.store(true);
    ThreadLock.Enter();
    ThreadId.store(0);
    ThreadLock.Leave();
    JoinFinished();
}

void CPosixThread::Terminate()
{
    if (HaveHandle && !pthread_equal(ThreadHandle, pthread_self())) {
        pthread_cancel(ThreadHandle);
        pthread_join(ThreadHandle, nullptr);
        HaveHandle = false;
    }
    IsRunning.store(false);
}
