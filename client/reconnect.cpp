#include "client/reconnect.h"

uint32_t ReconnectBackoff::NominalDelayMs(uint32_t step)
{
    uint32_t delay = FirstDelayMs;
    for (uint32_t i = 0; i < step && delay < LongestDelayMs; ++i) {
        delay *= 2;
    }
    return delay < LongestDelayMs ? delay : LongestDelayMs;
}

uint32_t ReconnectBackoff::NextDelayMs()
{
    const uint32_t nominal = NominalDelayMs(Step);
    if (nominal < LongestDelayMs) {
        ++Step;
    }
    const uint32_t spread = nominal * JitterPercent / 100;
    std::uniform_int_distribution<uint32_t> draw(nominal - spread, nominal + spread);
    return draw(Random);
}

bool WaitForAttempt(ReconnectState& state, const std::atomic<bool>& stop, std::chrono::milliseconds delay)
{
    std::unique_lock<std::mutex> lock(state.WaitLock);
    return !state.Wake.wait_for(lock, delay, [&] { return stop.load(); });
}

// Taking the lock between the setting of `stop` and the notification means a waiter is
// either not yet testing `stop` (and will see it set) or already waiting (and is woken).
void WakeAttemptWait(ReconnectState& state)
{
    std::lock_guard<std::mutex> lock(state.WaitLock);
    state.Wake.notify_all();
}
