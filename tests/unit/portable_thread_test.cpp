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
    std::atomic<bool> Release{false};           // lets a body end without a stop request
    std::atomic<int> Yields{0};                 // delays Started and the end, so an early return would show
    std::atomic<bool> HoldBeforeRunning{false}; // keeps the body between Started and IsRunning
    std::atomic<bool> HoldAfterClear{false};    // keeps the routine from returning after the end
    std::atomic<bool> LockReleased{false};     // the body is letting go of ThreadLock
};

void Spin(int yields) { while (yields-- > 0) std::this_thread::yield(); }
void Hold(const std::atomic<bool>& flag) { while (flag.load()) std::this_thread::yield(); }

uint32_t HVE_THREADCALL Body(void* threadObject)
{
    CPlatformThread* thread = static_cast<CPlatformThread*>(threadObject);
    BodyControl* control = static_cast<BodyControl*>(thread->ThreadParameter);
    {
        CWinLock guard(&thread->ThreadLock);
        Spin(control->Yields.load());
        thread->Started.store(true);
        Hold(control->HoldBeforeRunning);
        thread->IsRunning.store(true);
        control->Runs.fetch_add(1);
        while (!thread->StopRequested.load() && !control->Release.load())
            std::this_thread::yield();
        Spin(control->Yields.load());
        thread->IsRunning.store(false);
        // Set while still holding ThreadLock: a Stop that waits for the lock sees it.
        control->LockReleased.store(true);
    }
    Hold(control->HoldAfterClear);
    return 0;
}

template <typename Pred>
bool WaitUntil(Pred pred)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return pred();
}

// Start with wait-for-start returns once Started is set, a moment before the body sets
// IsRunning. A second Start then must see a running body: it may wait for IsRunning, but
// never for the body to end, and it starts nothing. Stop is a join; on a thread that never
// started or has finished it returns at once.
TEST(PortableThread, StartWaitsForStartedLeavesARunningBodyAloneAndStopJoins)
{
    CPlatformThread idle;
    idle.Stop();
    BodyControl control;
    control.Yields.store(20000);
    control.HoldBeforeRunning.store(true);
    CPlatformThread thread;
    ASSERT_TRUE(thread.Start(&Body, &control, true));
    EXPECT_TRUE(thread.Started.load());
    EXPECT_FALSE(thread.IsRunning.load());

    BodyControl other;
    std::atomic<bool> calling{false}, answered{false}, answer{false};
    std::thread second([&] {
        calling.store(true);
        answer.store(thread.Start(&Body, &other, true));
        answered.store(true);
    });
    ASSERT_TRUE(WaitUntil([&] { return calling.load(); }));
    Spin(10000); // widens the window in which the second Start is inside
    control.HoldBeforeRunning.store(false);
    const bool returned = WaitUntil([&] { return answered.load(); });
    control.Release.store(!returned); // lets a Start that waits for the end come back
    second.join();
    EXPECT_TRUE(returned) << "Start waited for the running body to end";
    EXPECT_TRUE(answer.load());
    EXPECT_EQ(other.Runs.load(), 0);
    EXPECT_EQ(thread.ThreadParameter, &control);
    thread.Stop();
    EXPECT_TRUE(control.LockReleased.load()) << "Stop returned before the body cleared IsRunning and let go";
    EXPECT_FALSE(thread.IsRunning.load());
    EXPECT_EQ(thread.ThreadId.load(), 0u);
    EXPECT_EQ(control.Runs.load(), 1);
    thread.Stop();
}

// A body that has ended but whose thread has not yet returned is finished: Start waits for
// the thread and runs a new body, as the client relies on when it reconnects.
TEST(PortableThread, StartJustAfterABodyEndedRunsANewBodyThatDestructionStops)
{
    BodyControl control;
    control.HoldAfterClear.store(true);
    control.Release.store(true);
    BodyControl other;
    {
        CPlatformThread thread;
        ASSERT_TRUE(thread.Start(&Body, &control, true));
        ASSERT_TRUE(WaitUntil([&] { return control.LockReleased.load(); }));
        std::thread second([&] { EXPECT_TRUE(thread.Start(&Body, &other, true)); });
        control.HoldAfterClear.store(false);
        second.join();
        EXPECT_EQ(other.Runs.load(), 1);
        EXPECT_EQ(thread.ThreadParameter, &other);
    }
    EXPECT_TRUE(other.LockReleased.load()) << "destroying a running thread stops it";
}

} // namespace
