// The scoped guard over the re-entrant critical section.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "support/portable_lock.h"

namespace {

// Answers whether another thread can take the section now (it gives it back at once). A
// section left held would block that thread for good, so that ends the test run outright.
bool FreeForOthers(CCriticalSection& section)
{
    std::atomic<bool> taken{false};
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread other([&] {
        CPlatformLock guard(&section);
        taken.store(true);
        done.set_value();
    });
    if (finished.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the section is still held";
        std::abort();
    }
    other.join();
    return taken.load();
}

TEST(PortableLock, GuardOnNullTakesNothingAndReleasesNothing)
{
    CPlatformLock guard(nullptr);
    EXPECT_FALSE(guard.IsLocked());
    guard.Lock();
    EXPECT_FALSE(guard.IsLocked());
    guard.Unlock();
    EXPECT_FALSE(guard.IsLocked());
}

TEST(PortableLock, GuardHoldsUntilDestroyedAndReentersAtOnce)
{
    CCriticalSection section;
    {
        CPlatformLock outer(&section);
        EXPECT_TRUE(outer.IsLocked());
        {
            CPlatformLock inner(&section);
            EXPECT_TRUE(inner.IsLocked());
        }
        EXPECT_TRUE(outer.IsLocked());
    }
    EXPECT_TRUE(FreeForOthers(section));
}

TEST(PortableLock, AttachTakesNothingLockAndUnlockPair)
{
    CCriticalSection section;
    CPlatformLock guard;
    guard.Attach(&section);
    EXPECT_FALSE(guard.IsLocked());
    EXPECT_TRUE(FreeForOthers(section));
    guard.Lock();
    EXPECT_TRUE(guard.IsLocked());
    guard.Unlock();
    EXPECT_FALSE(guard.IsLocked());
    guard.Unlock();
    EXPECT_FALSE(guard.IsLocked());
    EXPECT_TRUE(FreeForOthers(section));
}

} // namespace
