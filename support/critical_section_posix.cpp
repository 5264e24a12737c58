#include "support/critical_section.h"

#include <cstdlib>

CCriticalSection::CCriticalSection()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (pthread_mutex_init(&Mutex, &attributes) != 0) {
        std::abort();
    }
    pthread_mutexattr_destroy(&attributes);
}

CCriticalSection::~CCriticalSection() { pthread_mutex_destroy(&Mutex); }

void CCriticalSection::Enter() { pthread_mutex_lock(&Mutex); }

void CCriticalSection::Leave() { pthread_mutex_unlock(&Mutex); }
