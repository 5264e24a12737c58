#include "client/read_pacing.h"

#include <chrono>

void ReadPacing::Restart()
{
    WaitingSinceUs = LongAgo;
    ClosePasses = 0;
}

int64_t ReadPacing::PauseAfterPass(int64_t nowUs)
{
    if (nowUs - WaitingSinceUs < BusyGapUs) {
        ClosePasses = ClosePasses < FloodPasses ? ClosePasses + 1 : FloodPasses;
    } else {
        ClosePasses = 0;
    }
    WaitingSinceUs = nowUs;
    return ClosePasses >= FloodPasses ? PauseUs : 0;
}

void ReadPacing::Pause(int64_t us)
{
    std::unique_lock<std::mutex> lock(WakeLock);
    Woken.wait_for(lock, std::chrono::microseconds(us), [this] { return WakePending; });
    WakePending = false;
}

void ReadPacing::Wake()
{
    std::lock_guard<std::mutex> lock(WakeLock);
    WakePending = true;
    Woken.notify_one();
}
