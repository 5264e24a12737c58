// Automatic reconnection, measured over loopback against the simulator.
//
// - Delays against a peer that refuses: the time from each attempt's "Disconnected" to the
//   next "Connecting", beside the nominal back-off (0.5 s doubling, ±20 %).
// - Disconnect while waiting for an attempt, until it returns. Target: p99 below 10 ms.
// - Soak: OBS restarted 1,000 times (the simulator ended and made anew on its port with its
//   salt) with automatic reconnection on and a password: every restart must be followed by
//   Ready and an accepted password without a failed attempt, with open files and resident
//   memory flat. HVE_SOAK_RESTARTS changes the count for a quick look.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "client/obs_remote_client.h"
#include "tests/support/null_host.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts states and acceptances, and keeps the time of the last "Disconnected".
class CountingHost : public NullHost {
public:
    void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) override
    {
        if (id == StateId && argc == 1) {
            const std::string state = argv[0];
            if (state == "Ready") {
                Readies.fetch_add(1);
            } else if (state == "Connecting") {
                const int64_t now = Clock::now().time_since_epoch().count();
                const int64_t since = LastDisconnected.load();
                if (since != 0) {
                    LastWait.store(now - since);
                }
                Connectings.fetch_add(1);
            } else if (state == "Disconnected") {
                LastDisconnected.store(Clock::now().time_since_epoch().count());
            }
        } else if (id == AuthRequiredId) {
            AuthRequired.fetch_add(1);
        } else if (id == AcceptedId) {
            Accepted.fetch_add(1);
        } else if (id == FailedId) {
            Failed.fetch_add(1);
        }
        NullHost::RaiseEvent(id, reserved, argc, argv, none);
    }
    EventId StateId = 0, AuthRequiredId = 0, AcceptedId = 0, FailedId = 0;
    std::atomic<uint64_t> Readies{0}, Connectings{0}, AuthRequired{0}, Accepted{0}, Failed{0};
    std::atomic<int64_t> LastDisconnected{0}, LastWait{0};
};

bool WaitAbove(const std::atomic<uint64_t>& counter, uint64_t value, std::chrono::seconds limit = std::chrono::seconds(40))
{
    const auto deadline = Clock::now() + limit;
    while (counter.load() <= value) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

size_t OpenFiles()
{
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Attach(CountingHost& host, OBSRemoteClient& client)
{
    client.Link.Host.store(&host);
    for (uint32_t i = 0; i < ClientEventCount; ++i) {
        client.Link.EventIds[i].store(host.RegisterEvent("event"));
    }
    host.StateId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::StateChanged)].load();
    host.AuthRequiredId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::AuthRequiredRsp)].load();
    host.AcceptedId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::AuthAccepted)].load();
    host.FailedId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::AuthFailed)].load();
    client.Endpoint.AutoReconnect = true;
}

int RefusedDelays()
{
    uint16_t port = 0;
    {
        OBSSimulator probe;
        if (!probe.Start(0)) {
            return 1;
        }
        port = static_cast<uint16_t>(probe.Port());
    }
    CountingHost host;
    OBSRemoteClient client;
    Attach(host, client);
    client.Endpoint.Port = port;
    client.Connect();
    std::printf("refused peer: delay before each attempt (nominal ±20 %%)\n");
    for (uint64_t attempt = 1; attempt <= 5; ++attempt) {
        if (!WaitAbove(host.Connectings, attempt)) {
            std::fprintf(stderr, "attempt %llu never came\n", static_cast<unsigned long long>(attempt));
            return 1;
        }
        std::printf("  attempt %llu: %8.1f ms   (nominal %u ms)\n", static_cast<unsigned long long>(attempt),
                    host.LastWait.load() / 1e6, ReconnectBackoff::NominalDelayMs(static_cast<uint32_t>(attempt - 1)));
    }
    client.Disconnect();

    // Disconnect while waiting: each round waits for the first planned attempt.
    std::vector<double> cancels;
    for (int round = 0; round < 200; ++round) {
        client.Connect();
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!client.IsReconnectPlanned() && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // well inside the wait
        const Clock::time_point start = Clock::now();
        client.Disconnect();
        cancels.push_back(Ms(Clock::now() - start));
    }
    std::sort(cancels.begin(), cancels.end());
    const double p99 = cancels[cancels.size() * 99 / 100];
    std::printf("Disconnect while waiting for an attempt    n=%-5zu median %.3f ms  p99 %.3f ms  max %.3f ms  "
                "(target p99 < 10.0 ms: %s)\n",
                cancels.size(), cancels[cancels.size() / 2], p99, cancels.back(), p99 < 10.0 ? "met" : "MISSED");
    return 0;
}

int Soak(int restarts)
{
    OBSSimulatorOptions options;
    options.UseAuth = true;
    options.Password = "admin";
    auto sim = std::make_unique<OBSSimulator>(options);
    if (!sim->Start(0)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    const int port = sim->Port();
    options.Salt = sim->Salt();

    CountingHost host;
    OBSRemoteClient client;
    Attach(host, client);
    client.Endpoint.Port = static_cast<uint16_t>(port);
    client.Connect();
    if (!WaitAbove(host.AuthRequired, 0)) {
        std::fprintf(stderr, "no answer to GetAuthRequired\n");
        return 1;
    }
    client.Authenticate("admin");
    if (!WaitAbove(host.Accepted, 0)) {
        std::fprintf(stderr, "password not accepted\n");
        return 1;
    }

    std::vector<double> backAfter;
    size_t filesAt10 = 0;
    long memoryAt10 = 0;
    const Clock::time_point soakStart = Clock::now();
    for (int restart = 1; restart <= restarts; ++restart) {
        const uint64_t readies = host.Readies.load();
        const uint64_t accepted = host.Accepted.load();
        const Clock::time_point start = Clock::now();
        sim.reset();
        sim = std::make_unique<OBSSimulator>(options);
        if (!sim->Start(port)) {
            std::fprintf(stderr, "restart %d: the port could not be taken again\n", restart);
            return 1;
        }
        if (!WaitAbove(host.Readies, readies) || !WaitAbove(host.Accepted, accepted)) {
            std::fprintf(stderr, "restart %d: not Ready and accepted again\n", restart);
            return 1;
        }
        backAfter.push_back(Ms(Clock::now() - start));
        if (restart == 10) {
            filesAt10 = OpenFiles();
            memoryAt10 = ResidentKiB();
        }
        if (restart % 100 == 0) {
            std::printf("  restart %4d: open files %zu, resident %ld KiB\n", restart, OpenFiles(), ResidentKiB());
            std::fflush(stdout);
        }
    }
    const double total = Ms(Clock::now() - soakStart) / 1000.0;
    client.Disconnect();
    std::sort(backAfter.begin(), backAfter.end());
    std::printf("OBS restarted %d times: Ready and accepted again after each; failed password attempts %d, "
                "AuthFailed events %llu\n",
                restarts, sim->FailedAuthAttempts(), static_cast<unsigned long long>(host.Failed.load()));
    std::printf("  restart -> Ready and accepted: median %.1f ms  p99 %.1f ms  max %.1f ms; whole soak %.0f s\n",
                backAfter[backAfter.size() / 2], backAfter[backAfter.size() * 99 / 100], backAfter.back(), total);
    if (restarts >= 10) {
        std::printf("  open files %zu after 10 restarts, %zu after %d; resident %ld KiB -> %ld KiB\n", filesAt10,
                    OpenFiles(), restarts, memoryAt10, ResidentKiB());
    }
    return 0;
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char* count = std::getenv("HVE_SOAK_RESTARTS");
    const int restarts = count != nullptr ? std::max(1, std::atoi(count)) : 1000;
    if (RefusedDelays() != 0) {
        return 1;
    }
    return Soak(restarts);
}
