// Automatic reconnection's timing: the growing delay between attempts, and the wait for the
// next attempt that a Disconnect (or a script's own Connect) cuts short at once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>

// 500 ms, doubling after every attempt up to 30 s; each delay is drawn within ±20 % of that,
// so that clients that lost the same OBS at the same moment do not all come back together.
// Reset once a session reaches Ready.
class ReconnectBackoff {
public:
    static constexpr uint32_t FirstDelayMs = 500;
    static constexpr uint32_t LongestDelayMs = 30000;
    static constexpr uint32_t JitterPercent = 20;

    explicit ReconnectBackoff(uint32_t seed = std::random_device{}()) : Random(seed) {}

    // The delay before the next attempt; each call moves one step further.
    uint32_t NextDelayMs();
    void Reset() { Step = 0; }
    // The delay around which step `step` (0 for the first attempt) is drawn.
    static uint32_t NominalDelayMs(uint32_t step);

private:
    uint32_t Step = 0;
    std::mt19937 Random;
};

struct ReconnectState {
    // The awaited attempt's delay in milliseconds, from the moment it is decided (before
    // the "Disconnected" event) until the attempt begins or is cancelled; -1 when none.
    std::atomic<int64_t> DelayMs{-1};
    // 0 for a session a script's Connect started, n for the n-th automatic attempt since
    // the last session that reached Ready. Set before the attempt's "Connecting" event.
    std::atomic<uint32_t> Attempt{0};
    // Worker only (the host's thread touches them while no worker runs): the back-off, and
    // whether the last session reached Ready, after which the attempts count from 1 again.
    ReconnectBackoff Backoff;
    bool ReadyReached = false;

    std::mutex WaitLock;
    std::condition_variable Wake;
};

// Waits `delay` unless `stop` is or becomes set; answers false when stopped.
bool WaitForAttempt(ReconnectState& state, const std::atomic<bool>& stop, std::chrono::milliseconds delay);
// Wakes a WaitForAttempt after `stop` has been set.
void WakeAttemptWait(ReconnectState& state);
