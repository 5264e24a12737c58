// Scoped guard over a CCriticalSection. CPortableLock is the platform-neutral base and
// CWinLock the one guard; it keeps its Windows name on POSIX too, where the critical
// section beneath it is a recursive mutex.
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
class CWinLock : public CPortableLock {
public:
    explicit CWinLock(CCriticalSection* section = nullptr) : CriticalSection(section), Locked(false)
    {
        if (CriticalSection != nullptr) {
            CriticalSection->Enter();
            Locked = true;
        }
    }
    ~CWinLock() { Unlock(); }
    CWinLock(const CWinLock&) = delete;
    CWinLock& operator=(const CWinLock&) = delete;

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
