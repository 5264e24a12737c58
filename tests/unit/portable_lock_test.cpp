// The scoped guard over the re-entrant critical section.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "support/portable_lock.h"

// Checks that another thread can take the section now (it gives it back at once). A section
// left held would block that thread for good, so that ends the test run outright.
static void ExpectFreeForOthers(CCriticalSection& section)
{
    std::promise<void> taken;
    std::thread other([&] { CWinLock guard(&section); taken.set_value(); });
    if (taken.get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the section is still held";
        std::abort();
    }
    other.join();
}

TEST(PortableLock, NullGuardIsInertAndRealGuardsReenterAndReleaseInPairs)
{
    CWinLock none(nullptr);
    none.Lock();
    EXPECT_FALSE(none.IsLocked());
    none.Unlock();

    CCriticalSection section;
    {
        CWinLock outer(&section);
        CWinLock inner(&section); // the same thread re-enters at once
        inner.Unlock();
        EXPECT_TRUE(outer.IsLocked() && !inner.IsLocked());
    }
    // Attach takes nothing; a second Unlock releases nothing more.
    CWinLock guard;
    guard.Attach(&section);
    EXPECT_FALSE(guard.IsLocked());
    guard.Lock();
    EXPECT_TRUE(guard.IsLocked());
    guard.Unlock();
    guard.Unlock();
    EXPECT_FALSE(guard.IsLocked());
    ExpectFreeForOthers(section);
}
