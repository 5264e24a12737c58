#include "support/portable_thread.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

CPosixThread::CPosixThread()
    : IsRunning(false), StopRequested(false), Started(false), ThreadParameter(nullptr), ThreadId(0),
      ThreadHandle(), HaveHandle(false), Pending{nullptr, nullptr}
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
    JoinFinished();
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
