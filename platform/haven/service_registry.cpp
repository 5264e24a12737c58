#include "platform/haven/service_registry.h"

namespace haven {

namespace {

const char* const HostServiceNames[] = {"Pulse", "Memory", "HTTP", "Triggers", "System"};

} // namespace

bool ServiceRegistry::IsHostService(const std::string& name)
{
    for (const char* known : HostServiceNames) {
        if (name == known) {
            return true;
        }
    }
    return false;
}

ServiceHandle ServiceRegistry::Offer(void* client, const char* name, ServiceHandler handler)
{
    if (name == nullptr || name[0] == '\0' || handler == nullptr || IsHostService(name)) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    for (const auto& entry : Offerings) {
        if (entry.second.Name == name) {
            return 0;
        }
    }
    const ServiceHandle handle = NextHandle++;
    Offerings[handle] = Offering{client, name, handler};
    return handle;
}

void ServiceRegistry::Withdraw(void* client, ServiceHandle handle)
{
    ServiceHandler handler = nullptr;
    std::vector<std::pair<void*, ServiceClientRecord*>> removed;
    {
        std::lock_guard<std::mutex> guard(Mutex);
        const auto found = Offerings.find(handle);
        if (found == Offerings.end() || found->second.Client != client) {
            return;
        }
        handler = found->second.Handler;
        for (auto& [id, connection] : Connections) {
            if (connection.Target == handle) {
                connection.Target = 0;
                removed.emplace_back(connection.Client, connection.Record.get());
            }
        }
        Offerings.erase(found);
    }
    // The records stay alive: their connections remain until their clients disconnect.
    for (const auto& [connected, record] : removed) {
        handler(connected, ServiceClientRemoved, record);
    }
}

ServiceConnection ServiceRegistry::Connect(void* client, const char* name, ServiceHandler handler)
{
    if (name == nullptr || handler == nullptr) {
        return 0;
    }
    ServiceHandler offeredHandler = nullptr;
    ServiceClientRecord* record = nullptr;
    ServiceConnection id = 0;
    {
        std::lock_guard<std::mutex> guard(Mutex);
        Connection connection;
        connection.Client = client;
        connection.Service = name;
        connection.Handler = handler;
        if (IsHostService(name)) {
            connection.ToHost = true;
        } else {
            for (const auto& [handle, offering] : Offerings) {
                if (offering.Name == name) {
                    connection.Target = handle;
                    offeredHandler = offering.Handler;
                }
            }
            if (connection.Target == 0) {
                return 0;
            }
        }
        id = NextConnection++;
        connection.Record = std::make_unique<ServiceClientRecord>();
        connection.Record->Client = client;
        connection.Record->Connection = id;
        record = connection.Record.get();
        auto& stored = Connections[id];
        stored = std::move(connection);
        record->ServiceName = stored.Service.c_str();
    }
    if (offeredHandler != nullptr) {
        offeredHandler(client, ServiceClientAdded, record);
    }
    return id;
}

RequestOutcome ServiceRegistry::Request(void* client, ServiceConnection connection, uint32_t request, void* record)
{
    ServiceHandler offeredHandler = nullptr;
    std::string hostService;
    {
        std::lock_guard<std::mutex> guard(Mutex);
        const auto found = Connections.find(connection);
        if (found == Connections.end() || found->second.Client != client) {
            return RequestOutcome::NoSuchConnection;
        }
        if (found->second.ToHost) {
            hostService = found->second.Service;
        } else {
            const auto offering = Offerings.find(found->second.Target);
            if (offering == Offerings.end()) {
                return RequestOutcome::ServiceGone;
            }
            offeredHandler = offering->second.Handler;
        }
    }
    if (offeredHandler != nullptr) {
        offeredHandler(client, request, record);
    } else if (HostRequests) {
        HostRequests(hostService, request, record);
    }
    return RequestOutcome::Delivered;
}

void ServiceRegistry::Disconnect(void* client, ServiceConnection connection)
{
    ServiceHandler offeredHandler = nullptr;
    Connection removed;
    {
        std::lock_guard<std::mutex> guard(Mutex);
        const auto found = Connections.find(connection);
        if (found == Connections.end() || found->second.Client != client) {
            return;
        }
        const auto offering = Offerings.find(found->second.Target);
        if (!found->second.ToHost && offering != Offerings.end()) {
            offeredHandler = offering->second.Handler;
        }
        removed = std::move(found->second);
        removed.Record->ServiceName = removed.Service.c_str();
        Connections.erase(found);
    }
    if (offeredHandler != nullptr) {
        offeredHandler(client, ServiceClientRemoved, removed.Record.get());
    }
}

size_t ServiceRegistry::Notify(const std::string& name, uint32_t message)
{
    std::vector<std::pair<void*, ServiceHandler>> targets;
    {
        std::lock_guard<std::mutex> guard(Mutex);
        for (const auto& [id, connection] : Connections) {
            if (connection.ToHost && connection.Service == name) {
                targets.emplace_back(connection.Client, connection.Handler);
            }
        }
    }
    for (const auto& [client, handler] : targets) {
        handler(client, message, nullptr);
    }
    return targets.size();
}

bool ServiceRegistry::IsOffered(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    for (const auto& entry : Offerings) {
        if (entry.second.Name == name) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ServiceRegistry::Offered() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> names;
    for (const auto& entry : Offerings) {
        names.push_back(entry.second.Name);
    }
    return names;
}

std::vector<std::string> ServiceRegistry::DropAllBut(void* keep)
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> dropped;
    for (auto it = Offerings.begin(); it != Offerings.end();) {
        if (it->second.Client != keep) {
            dropped.push_back("service \"" + it->second.Name + "\"");
            for (auto& entry : Connections) {
                if (entry.second.Target == it->first) {
                    entry.second.Target = 0;
                }
            }
            it = Offerings.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = Connections.begin(); it != Connections.end();) {
        if (it->second.Client != keep) {
            dropped.push_back("connection " + std::to_string(it->first) + " to \"" + it->second.Service + "\"");
            it = Connections.erase(it);
        } else {
            ++it;
        }
    }
    return dropped;
}

} // namespace haven
