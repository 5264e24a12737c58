#include "platform/haven/event_registry.h"

#include <algorithm>
#include <cstdio>

namespace haven {

std::string QuoteText(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    quoted += '"';
    return quoted;
}

std::string FormatEventLine(const HostEvent& event)
{
    std::string line = "event " + event.Name;
    for (const std::string& arg : event.Args) {
        line += ' ';
        line += QuoteText(arg);
    }
    return line;
}

EventId EventRegistry::Register(const char* name)
{
    if (name == nullptr || name[0] == '\0') {
        return 0;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    for (const RegisteredEvent& known : Names) {
        if (known.Name == name) {
            return known.Id;
        }
    }
    RegisteredEvent added;
    added.Id = static_cast<EventId>(Names.size() + 1);
    added.Name = name;
    Names.push_back(added);
    return added.Id;
}

bool EventRegistry::Raise(EventId id, int32_t argc, const char* const* argv)
{
    std::lock_guard<std::mutex> guard(Mutex);
    if (id == 0 || id > Names.size()) {
        return false;
    }
    HostEvent event;
    event.Id = id;
    event.Name = Names[id - 1].Name;
    if (argc > 0 && argv != nullptr) {
        for (int32_t i = 0; i < argc; ++i) {
            event.Args.emplace_back(argv[i] != nullptr ? argv[i] : "");
        }
    }
    ++Names[id - 1].Raised;
    // Shown under the lock so the console order is the inbox order.
    if (Shown) {
        Shown(event);
    }
    History.push_back(event);
    Inbox.push_back(std::move(event));
    if (Inbox.size() > InboxLimit) {
        Inbox.pop_front();
    }
    Arrived.notify_all();
    return true;
}

bool EventRegistry::IsRegistered(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    for (const RegisteredEvent& known : Names) {
        if (known.Name == name) {
            return true;
        }
    }
    return false;
}

std::vector<RegisteredEvent> EventRegistry::Registered() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return Names;
}

std::vector<HostEvent> EventRegistry::Raised() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return History;
}

std::vector<HostEvent> EventRegistry::Pending() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return std::vector<HostEvent>(Inbox.begin(), Inbox.end());
}

void EventRegistry::ClearPending()
{
    std::lock_guard<std::mutex> guard(Mutex);
    Inbox.clear();
}

std::optional<HostEvent> EventRegistry::TakeLocked(const std::string& name, const std::vector<std::string>& args)
{
    for (size_t i = 0; i < Inbox.size(); ++i) {
        const HostEvent& candidate = Inbox[i];
        if (candidate.Name != name || candidate.Args.size() < args.size()) {
            continue;
        }
        bool matches = true;
        for (size_t a = 0; a < args.size() && matches; ++a) {
            matches = candidate.Args[a] == args[a];
        }
        if (!matches) {
            continue;
        }
        HostEvent taken = candidate;
        std::deque<HostEvent> kept;
        for (size_t j = 0; j < Inbox.size(); ++j) {
            if (j > i || Inbox[j].Name != name) {
                kept.push_back(std::move(Inbox[j]));
            }
        }
        Inbox.swap(kept);
        return taken;
    }
    return std::nullopt;
}

std::optional<HostEvent> EventRegistry::Take(const std::string& name, const std::vector<std::string>& args,
                                             std::chrono::steady_clock::time_point deadline,
                                             const std::function<void()>& idle, std::chrono::milliseconds idleEvery)
{
    auto nextIdle = std::chrono::steady_clock::now() + idleEvery;
    std::unique_lock<std::mutex> guard(Mutex);
    for (;;) {
        if (auto taken = TakeLocked(name, args)) {
            return taken;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return std::nullopt;
        }
        if (idle && now >= nextIdle) {
            guard.unlock();
            idle();
            guard.lock();
            nextIdle = std::chrono::steady_clock::now() + idleEvery;
            continue;
        }
        Arrived.wait_until(guard, idle ? std::min(deadline, nextIdle) : deadline);
    }
}

} // namespace haven
