// Host services: the host's own five ("Pulse", "Memory", "HTTP", "Triggers", "System") and
// those that extensions offer to other clients. Handlers are always called without the
// registry's lock held, so they may call back into the host.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "haven/host_interface.h"

namespace haven {

// The record a service's handler receives with ClientAdded and ClientRemoved: it
// identifies the connecting client and stays at one address for the connection's life.
struct ServiceClientRecord {
    void* Client = nullptr;
    ServiceConnection Connection = 0;
    const char* ServiceName = nullptr;
};

enum ServiceMessage : uint32_t {
    ServicePulse = 1,
    ServiceClientAdded = 1,
    ServiceClientRemoved = 2,
};

enum class RequestOutcome { Delivered, NoSuchConnection, ServiceGone };

class ServiceRegistry {
public:
    // Requests to the host's own services go here (service name, request id, record).
    using HostRequestHandler = std::function<void(const std::string& service, uint32_t request, void* record)>;

    explicit ServiceRegistry(HostRequestHandler hostRequests) : HostRequests(std::move(hostRequests)) {}

    static bool IsHostService(const std::string& name);

    // 0 when the name is empty, taken (also by a host service) or the handler is missing.
    ServiceHandle Offer(void* client, const char* name, ServiceHandler handler);
    // Only the client that offered the service can withdraw it. Its connected clients are
    // told ClientRemoved, and their connections lead nowhere from then on.
    void Withdraw(void* client, ServiceHandle handle);

    // 0 for an unknown service or a missing handler.
    ServiceConnection Connect(void* client, const char* name, ServiceHandler handler);
    RequestOutcome Request(void* client, ServiceConnection connection, uint32_t request, void* record);
    void Disconnect(void* client, ServiceConnection connection);

    // Sends `message` (with no record) to every client connected to the host service `name`;
    // answers how many handlers got it.
    size_t Notify(const std::string& name, uint32_t message);

    bool IsOffered(const std::string& name) const;
    std::vector<std::string> Offered() const;
    // Drops every service and connection not held by `keep`, without calling any of their
    // handlers, and answers a description of each dropped thing. Used when a module is
    // unloaded: nothing may call into its code afterwards.
    std::vector<std::string> DropAllBut(void* keep);

private:
    struct Offering {
        void* Client = nullptr;
        std::string Name;
        ServiceHandler Handler = nullptr;
    };
    struct Connection {
        void* Client = nullptr;
        std::string Service;
        ServiceHandler Handler = nullptr;
        ServiceHandle Target = 0; // the offered service; 0 for a host service or one withdrawn
        bool ToHost = false;
        std::unique_ptr<ServiceClientRecord> Record;
    };

    const HostRequestHandler HostRequests;
    mutable std::mutex Mutex;
    std::map<ServiceHandle, Offering> Offerings;
    std::map<ServiceConnection, Connection> Connections;
    uint32_t NextHandle = 1;
    uint32_t NextConnection = 1;
};

} // namespace haven
