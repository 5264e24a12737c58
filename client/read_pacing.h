// When the worker reads. Normally it reads the moment a message arrives. A peer that keeps
// sending faster than one message every BusyGapUs (a flood; OBS itself sends a few a second)
// would wake the worker once per message, and the wake-up and the socket's receive then cost
// more than the handling of the message: once FloodPasses messages in a row came that close
// together, the worker leaves the socket unread for PauseUs after each pass that delivered
// messages, and reads what gathered meanwhile in one go. A request or a stop cuts the pause
// short; data already waiting (in the socket or in the library) is read at once. Messages
// keep their order; during a flood they are late by at most PauseUs, and the first message
// after a lull is read at once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>

class ReadPacing {
public:
    static constexpr int64_t BusyGapUs = 2000;
    static constexpr int FloodPasses = 8;
    static constexpr int64_t PauseUs = 10000;

    // Worker only. A new session starts with no flood.
    void Restart();
    // After a pass of the service loop that delivered at least one message, at `nowUs`: how
    // long to leave the socket unread before the next pass (0: go on at once). The caller
    // skips the pause when more data already waits.
    int64_t PauseAfterPass(int64_t nowUs);
    // The pause ended (or was skipped) at `nowUs`: the worker waits for data again.
    void Resumed(int64_t nowUs) { WaitingSinceUs = nowUs; }

    // Waits up to `us` microseconds unless Wake was called since the last pause began.
    void Pause(int64_t us);
    // From any thread: cuts the current pause, or else the next one, short.
    void Wake();

private:
    // When the worker last began waiting for data, and how many passes in a row delivered a
    // message sooner than BusyGapUs after that.
    static constexpr int64_t LongAgo = std::numeric_limits<int64_t>::min() / 2;
    int64_t WaitingSinceUs = LongAgo;
    int ClosePasses = 0;

    std::mutex WakeLock;
    std::condition_variable Woken;
    bool WakePending = false;
};
