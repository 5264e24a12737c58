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
    std::atomic<bool> HoldBeforeRunning{false}; // keeps the body between Started and IsRunning
    std::atomic<bool> HoldAfterClear{false};    // keeps the routine from returning after the end
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
        while (control->HoldBeforeRunning.load()) {
            std::this_thread::yield();
        }
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
    while (control->HoldAfterClear.load()) {
        std::this_thread::yield();
    }
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

// Start with wait-for-start returns once Started is set, a moment before the body sets
// IsRunning. A second Start in that moment must see a running body: it may wait for
// IsRunning, but never for the body to end, and it starts nothing.
TEST(PortableThread, StartRightAfterStartLeavesTheBodyAlone)
{
    BodyControl control;
    control.HoldBeforeRunning.store(true);
    CPlatformThread thread;
    ASSERT_TRUE(thread.Start(&Body, &control, true));
    EXPECT_FALSE(thread.IsRunning.load());

    BodyControl other;
    std::atomic<bool> calling{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> answer{false};
    std::thread second([&] {
        calling.store(true);
        answer.store(thread.Start(&Body, &other, true));
        answered.store(true);
    });
    ASSERT_TRUE(WaitUntil([&] { return calling.load(); }));
    for (int i = 0; i < 10000; ++i) {
        std::this_thread::yield();
    }
    control.HoldBeforeRunning.store(false);
    bool returned = WaitUntil([&] { return answered.load(); });
    if (!returned) {
        // Let both bodies end so the waiting Start can come back.
        control.Release.store(true);
        other.Release.store(true);
    }
    second.join();
    EXPECT_TRUE(returned) << "Start waited for the running body to end";
    EXPECT_TRUE(answer.load());
    EXPECT_EQ(other.Runs.load(), 0);
    EXPECT_EQ(thread.ThreadParameter, &control);

    thread.Stop();
    EXPECT_EQ(control.Runs.load(), 1);
}

// A body that has ended but whose thread has not yet returned is finished: Start waits for
// the thread and runs a new body, as the client relies on when it reconnects.
TEST(PortableThread, StartJustAfterABodyEndedRunsANewBody)
{
    BodyControl control;
    control.HoldAfterClear.store(true);
    control.Release.store(true);
    CPlatformThread thread;
    ASSERT_TRUE(thread.Start(&Body, &control, true));
    ASSERT_TRUE(WaitUntil([&] { return control.LockReleased.load(); }));

    BodyControl other;
    std::atomic<bool> answered{false};
    std::thread second([&] {
        EXPECT_TRUE(thread.Start(&Body, &other, true));
        answered.store(true);
    });
    control.HoldAfterClear.store(false);
    second.join();
    EXPECT_TRUE(answered.load());
    EXPECT_EQ(other.Runs.load(), 1);
    EXPECT_EQ(thread.ThreadParameter, &other);
    thread.Stop();
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
