// The critical section the scripting interface's tables carry. It is part of their layout
// and is set up and torn down with the table; the script engine calls the framework from one
// thread only, so nothing enters it.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <pthread.h>
#endif

class KSCriticalSection {
public:
#ifdef _WIN32
    KSCriticalSection() { InitializeCriticalSection(&Section); }
    ~KSCriticalSection() { DeleteCriticalSection(&Section); }
#else
    KSCriticalSection()
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutex_init(&Section, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~KSCriticalSection() { pthread_mutex_destroy(&Section); }
#endif
    KSCriticalSection(const KSCriticalSection&) = delete;
    KSCriticalSection& operator=(const KSCriticalSection&) = delete;

private:
#ifdef _WIN32
    CRITICAL_SECTION Section;
#else
    pthread_mutex_t Section;
#endif
};
