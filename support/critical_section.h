// A re-entrant mutual-exclusion lock: a thread that holds it may enter it again, and it is
// free once left as often as it was entered. Windows uses a critical section, POSIX a
// recursive mutex; both are entered only through the guards in portable_lock.h.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <pthread.h>
#endif

class CCriticalSection {
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter();
    void Leave();

private:
#ifdef _WIN32
    CRITICAL_SECTION Section;
#else
    pthread_mutex_t Mutex;
#endif
};
