// Scoped guard over a CCriticalSection. CPortableLock is the platform-neutral base;
// CWinLock (Windows) and CPosixLock (POSIX) behave alike, and CPlatformLock names
// whichever this build has.
#pragma once

#include "support/critical_section.h"

class CPortableLock {
public:
    virtual void Attach(CCriticalSection* section) = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual bool IsLocked() = 0;

protected:
    CPortableLock() = default;
    ~CPortableLock() = default;
};

// Both platforms share the guard's logic; only the critical section differs, and that is
// hidden in CCriticalSection.
class CSectionGuard : public CPortableLock {
public:
    explicit CSectionGuard(CCriticalSection* section = nullptr) : CriticalSection(section), Locked(false)
    {
        if (CriticalSection != nullptr) {
            CriticalSection->Enter();
            Locked = true;
        }
    }
    ~CSectionGuard() { Unlock(); }
    CSectionGuard(const CSectionGuard&) = delete;
    CSectionGuard& operator=(const CSectionGuard&) = delete;

    // Stores the section without taking it.
    void Attach(CCriticalSection* section) override { CriticalSection = section; }
    void Lock() override
    {
        if (CriticalSection != nullptr) {
            CriticalSection->Enter();
            Locked = true;
        }
    }
    void Unlock() override
    {
        if (Locked) {
            CriticalSection->Leave();
            Locked = false;
        }
    }
    bool IsLocked() override { return Locked; }

private:
    CCriticalSection* CriticalSection;
    bool Locked;
};

#ifdef _WIN32
using CWinLock = CSectionGuard;
using CPlatformLock = CWinLock;
#else
using CPosixLock = CSectionGuard;
using CPlatformLock = CPosixLock;
#endif
