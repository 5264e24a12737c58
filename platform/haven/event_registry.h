// Script events of the host: names registered by extensions get ids from 1; every raised
// event is copied, shown on the console and put in an inbox from which console commands
// (and tests) take the events they wait for. Safe from any thread: extensions raise
// events from their worker threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "haven/host_interface.h"

namespace haven {

struct HostEvent {
    EventId Id = 0;
    std::string Name;
    std::vector<std::string> Args;
};

// `event <name> "arg" ...`: the console form of a raised event.
std::string FormatEventLine(const HostEvent& event);
// A text in double quotes with \" \\ and control characters escaped.
std::string QuoteText(const std::string& text);

struct RegisteredEvent {
    EventId Id = 0;
    std::string Name;
    uint64_t Raised = 0;
};

class EventRegistry {
public:
    // Called, in raise order, for every raised event; used to print it.
    explicit EventRegistry(std::function<void(const HostEvent&)> shown) : Shown(std::move(shown)) {}

    // The id of the name, registering it the first time; 0 for an empty or missing name.
    EventId Register(const char* name);
    // Copies the arguments; answers false for an id that was never handed out.
    bool Raise(EventId id, int32_t argc, const char* const* argv);

    bool IsRegistered(const std::string& name) const;
    std::vector<RegisteredEvent> Registered() const;
    std::vector<HostEvent> Raised() const; // every event, in raise order
    std::vector<HostEvent> Pending() const; // the inbox, oldest first
    void ClearPending();

    // Takes the oldest pending event of this name whose arguments begin with `args`,
    // together with every older pending event of the same name, so a later wait never
    // sees a stale one. Waits until `deadline`, calling `idle` (without any lock held)
    // every `idleEvery` while it waits. Answers none on time-out.
    std::optional<HostEvent> Take(const std::string& name, const std::vector<std::string>& args,
                                  std::chrono::steady_clock::time_point deadline,
                                  const std::function<void()>& idle = {},
                                  std::chrono::milliseconds idleEvery = std::chrono::milliseconds(100));

private:
    std::optional<HostEvent> TakeLocked(const std::string& name, const std::vector<std::string>& args);

    static constexpr size_t InboxLimit = 10000;

    std::function<void(const HostEvent&)> Shown;
    mutable std::mutex Mutex;
    std::condition_variable Arrived;
    std::vector<RegisteredEvent> Names; // index id - 1
    std::vector<HostEvent> History;
    std::deque<HostEvent> Inbox;
};

} // namespace haven
