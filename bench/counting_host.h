// The benchmarks' host: it counts one client's events by kind, and the state changes to
// "Ready", and otherwise does as little as NullHost, so that the figures are the client's.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "client/obs_remote_client.h"
#include "tests/support/null_host.h"

class CountingHost : public NullHost {
public:
    // Makes this the client's host, with the client's events registered here.
    void Attach(OBSRemoteClient& client)
    {
        client.Link.Host.store(this);
        for (uint32_t i = 0; i < ClientEventCount; ++i) {
            const EventId id = RegisterEvent("event");
            First = i == 0 ? id : First;
            client.Link.EventIds[i].store(id);
        }
    }

    void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) override
    {
        const EventId kind = id - First; // NullHost numbers events one after the other
        if (kind < ClientEventCount) {
            Counts[kind].fetch_add(1);
            if (kind == static_cast<EventId>(ClientEvent::StateChanged) && argc == 1 && argv[0][0] == 'R') {
                Readies.fetch_add(1);
            }
        }
        NullHost::RaiseEvent(id, reserved, argc, argv, none);
    }

    std::atomic<uint64_t>& Count(ClientEvent event) { return Counts[static_cast<uint32_t>(event)]; }

    std::atomic<uint64_t> Readies{0};

private:
    EventId First = 0;
    std::atomic<uint64_t> Counts[ClientEventCount] = {};
};

// Waits up to 10 s for a counter to pass a value. With a pause the waiting thread sleeps
// between looks (to leave the cores to what is measured); without, it only yields (to see
// the change as soon as it happens).
inline bool WaitAbove(const std::atomic<uint64_t>& counter, uint64_t value,
                      std::chrono::microseconds pause = std::chrono::microseconds(0))
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (counter.load() <= value) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        if (pause.count() > 0) {
            std::this_thread::sleep_for(pause);
        } else {
            std::this_thread::yield();
        }
    }
    return true;
}
