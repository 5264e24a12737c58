// Round trips over loopback against the simulator, and how long Disconnect takes.
//
// - request → answer → event: GetVersion sent from the host's thread until the worker has
//   raised "OBSRemote:VersionRsp" (queue, wake, write, the simulator's answer, receive,
//   parse, dispatch). Target: median below 0.3 ms.
// - Disconnect from a Ready session holding a scene list of 200 scenes of 20 sources, until
//   it returns (stop, wake, the close handshake with the plug-in, worker ends, context
//   destroyed). Target: p99 at most 2 ms.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "client/obs_remote_client.h"
#include "tests/support/null_host.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts the events the benchmark waits for; everything else is ignored.
class CountingHost : public NullHost {
public:
    void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) override
    {
        if (id == VersionId) {
            Versions.fetch_add(1);
        } else if (id == VolumesId) {
            Volumes.fetch_add(1);
        } else if (id == StateId && argc == 1 && argv[0][0] == 'R') {
            Readies.fetch_add(1);
        }
        NullHost::RaiseEvent(id, reserved, argc, argv, none);
    }
    EventId StateId = 0, VersionId = 0, VolumesId = 0;
    std::atomic<uint64_t> Versions{0}, Volumes{0}, Readies{0};
};

bool WaitAbove(const std::atomic<uint64_t>& counter, uint64_t value)
{
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (counter.load() <= value) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

void Report(const char* what, std::vector<double> ms, double target, const char* targetName)
{
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    double p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    double figure = targetName[0] == 'm' ? median : p99;
    std::printf("%-44s n=%-5zu median %.3f ms  p99 %.3f ms  max %.3f ms  (target %s <= %.1f ms: %s)\n", what, ms.size(),
                median, p99, ms.back(), targetName, target, figure <= target ? "met" : "MISSED");
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

int main()
{
    OBSSimulatorOptions options;
    options.UseAuth = false;
    OBSSimulator sim(options);
    if (!sim.Start(0)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }

    CountingHost host;
    OBSRemoteClient client;
    client.Link.Host.store(&host);
    for (uint32_t i = 0; i < ClientEventCount; ++i) {
        client.Link.EventIds[i].store(host.RegisterEvent("event"));
    }
    host.StateId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::StateChanged)].load();
    host.VersionId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::VersionRsp)].load();
    host.VolumesId = client.Link.EventIds[static_cast<uint32_t>(ClientEvent::VolumesRsp)].load();
    client.Endpoint.Port = static_cast<uint16_t>(sim.Port());

    // Request → answer → event.
    uint64_t readies = host.Readies.load();
    client.Connect();
    if (!WaitAbove(host.Readies, readies) || !WaitAbove(host.Volumes, 0)) {
        std::fprintf(stderr, "no Ready session\n");
        return 1;
    }
    std::vector<double> roundTrips;
    const int warmUp = 200, rounds = 5000;
    for (int i = 0; i < warmUp + rounds; ++i) {
        uint64_t before = host.Versions.load();
        Clock::time_point start = Clock::now();
        client.GetVersion();
        if (!WaitAbove(host.Versions, before)) {
            std::fprintf(stderr, "no VersionRsp\n");
            return 1;
        }
        if (i >= warmUp) {
            roundTrips.push_back(Ms(Clock::now() - start));
        }
    }
    client.Disconnect();
    sim.Stop();

    // Disconnect from Ready, once the opening answers (the large scene list among them) are in.
    SimSceneSet scenes;
    scenes.Scenes.resize(200);
    for (size_t s = 0; s < scenes.Scenes.size(); ++s) {
        scenes.Scenes[s].Name = "Scene " + std::to_string(s);
        scenes.Scenes[s].Sources.resize(20);
        for (size_t i = 0; i < 20; ++i) {
            scenes.Scenes[s].Sources[i].Name = "Source " + std::to_string(s) + "." + std::to_string(i);
        }
    }
    scenes.CurrentScene = "Scene 0";
    options.Scenes = scenes;
    OBSSimulator large(options);
    if (!large.Start(0)) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    client.Endpoint.Port = static_cast<uint16_t>(large.Port());
    std::vector<double> disconnects;
    for (int i = 0; i < 200; ++i) {
        readies = host.Readies.load();
        uint64_t volumes = host.Volumes.load();
        client.Connect();
        if (!WaitAbove(host.Readies, readies) || !WaitAbove(host.Volumes, volumes)) {
            std::fprintf(stderr, "no Ready session\n");
            return 1;
        }
        Clock::time_point start = Clock::now();
        client.Disconnect();
        disconnects.push_back(Ms(Clock::now() - start));
        large.ClearReceived();
    }

    Report("GetVersion -> OBSRemote:VersionRsp", roundTrips, 0.3, "median");
    Report("Disconnect from Ready, 200 x 20 scene list", disconnects, 2.0, "p99");
    std::printf("%-44s %u scenes\n", "Scene list held at Disconnect", static_cast<unsigned>(client.Model.SceneCount()));
    large.Stop();
    return 0;
}
