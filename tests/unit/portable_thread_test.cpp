// The worker thread wrapper: the already-running answer, wait-for-start, and Stop as a join.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/portable_lock.h"
#include "support/portable_thread.h"

namespace {

// What a test body sees and controls. Bodies keep the wrapper's protocol: guard ThreadLock,
// set Started then IsRunning, run, clear IsRunning, release the guard.
struct BodyControl {
    std::atomic<int> Runs{0};
    std::atomic<bool> Release{false};       // lets a body end without a stop request
    std::atomic<int> YieldsBeforeStarted{0}; // delays Started, so an early return would show
    std::atomic<int> YieldsBeforeClear{0};   // delays the end after a stop was seen
    std::atomic<bool> SawRunningCleared{false};
    std::atomic<bool> LockReleased{false};
};

uint32_t HVE_THREADCALL Body(void* threadObject)
{
    CPlatformThread* thread = static_cast<CPlatformThread*>(threadObject);
    BodyControl* control = static_cast<BodyControl*>(thread->ThreadParameter);
    {
        CPlatformLock guard(&thread->ThreadLock);
        for (int i = control->YieldsBeforeStarted.load(); i > 0; --i) {
            std::this_thread::yield();
        }
        thread->Started.store(true);
        thread->IsRunning.store(true);
        control->Runs.fetch_add(1);
        while (!thread->StopRequested.load() && !control->Release.load()) {
            std::this_thread::yield();
        }
        for (int i = control->YieldsBeforeClear.load(); i > 0; --i) {
            std::this_thread::yield();
        }
        thread->IsRunning.store(false);
        control->SawRunningCleared.store(true);
    }
    control->LockReleased.store(true);
    return 0;
}

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

TEST(PortableThread, StartWaitsForStartedAndLeavesARunningBodyAlone)
{
    BodyControl control;
    control.YieldsBeforeStarted.store(20000);
    CPlatformThread thread;
    ASSERT_TRUE(thread.Start(&Body, &control, true));
    EXPECT_TRUE(thread.Started.load());
    ASSERT_TRUE(WaitUntil([&] { return thread.IsRunning.load(); }));

    BodyControl other;
    EXPECT_TRUE(thread.Start(&Body, &other, true));
    EXPECT_EQ(control.Runs.load(), 1);
    EXPECT_EQ(other.Runs.load(), 0);
    EXPECT_EQ(thread.ThreadParameter, &control);
    EXPECT_FALSE(thread.StopRequested.load());

    thread.Stop();
    EXPECT_EQ(control.Runs.load(), 1);
}

TEST(PortableThread, StopReturnsOnlyAfterTheBodyClearedIsRunningAndReleasedTheLock)
{
    BodyControl control;
    control.YieldsBeforeClear.store(20000);
    CPlatformThread thread;
    ASSERT_TRUE(thread.Start(&Body, &control, true));
    thread.Stop();
    EXPECT_TRUE(thread.StopRequested.load());
    EXPECT_TRUE(control.SawRunningCleared.load());
    EXPECT_TRUE(control.LockReleased.load());
    EXPECT_FALSE(thread.IsRunning.load());
    EXPECT_EQ(thread.ThreadId.load(), 0u);
}

TEST(PortableThread, StopOnANeverStartedOrFinishedThreadReturnsAtOnce)
{
    CPlatformThread idle;
    idle.Stop();
    EXPECT_FALSE(idle.IsRunning.load());

    BodyControl control;
    control.Release.store(true);
    CPlatformThread finished;
    ASSERT_TRUE(finished.Start(&Body, &control, true));
    ASSERT_TRUE(WaitUntil([&] { return control.LockReleased.load(); }));
    finished.Stop();
    EXPECT_FALSE(finished.IsRunning.load());
}

TEST(PortableThread, RestartsAfterStopWithAFreshStopRequest)
{
    BodyControl first;
    CPlatformThread thread;
    ASSERT_TRUE(thread.Start(&Body, &first, true));
    thread.Stop();

    BodyControl second;
    ASSERT_TRUE(thread.Start(&Body, &second, true));
    EXPECT_FALSE(thread.StopRequested.load());
    EXPECT_EQ(thread.ThreadParameter, &second);
    ASSERT_TRUE(WaitUntil([&] { return thread.IsRunning.load(); }));
    thread.Stop();
    EXPECT_EQ(first.Runs.load(), 1);
    EXPECT_EQ(second.Runs.load(), 1);
}

TEST(PortableThread, DestroyingARunningThreadStopsIt)
{
    BodyControl control;
    {
        CPlatformThread thread;
        ASSERT_TRUE(thread.Start(&Body, &control, true));
    }
    EXPECT_TRUE(control.LockReleased.load());
}

} // namespace
