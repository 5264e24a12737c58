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

#include "bench/counting_host.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

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
    host.Attach(client);
    std::atomic<uint64_t>& versions = host.Count(ClientEvent::VersionRsp);
    std::atomic<uint64_t>& volumes = host.Count(ClientEvent::VolumesRsp);
    client.Endpoint.Port = static_cast<uint16_t>(sim.Port());

    // Request → answer → event.
    uint64_t readies = host.Readies.load();
    client.Connect();
    if (!WaitAbove(host.Readies, readies) || !WaitAbove(volumes, 0)) {
        std::fprintf(stderr, "no Ready session\n");
        return 1;
    }
    std::vector<double> roundTrips;
    const int warmUp = 200, rounds = 5000;
    for (int i = 0; i < warmUp + rounds; ++i) {
        uint64_t before = versions.load();
        Clock::time_point start = Clock::now();
        client.GetVersion();
        if (!WaitAbove(versions, before)) {
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
        uint64_t volumesBefore = volumes.load();
        client.Connect();
        if (!WaitAbove(host.Readies, readies) || !WaitAbove(volumes, volumesBefore)) {
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
