// What the worker thread costs while a session runs, against the simulator over loopback.
//
// - CPU: the worker thread's own CPU clock while the plug-in sends 1,000 StreamStatus updates
//   a second (each parsed, stored and raised as an event). Target: at most 2 % of a core.
//   Beside it, the worker's wake-ups during that flood (it reads many updates per wake-up)
//   and how late updates got (the most that were sent but not yet raised, one per ms).
// - Wake-ups: the worker's context switches while a Ready session sits idle; the worker
//   sleeps in the library's wait until something happens. Target: at most 1 a second.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

#include "bench/counting_host.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time a thread of this process has used, by its system thread id.
double ThreadCpuSeconds(uint32_t tid)
{
    clockid_t clock = static_cast<clockid_t>((~static_cast<clockid_t>(tid) << 3) | 6); // per-thread, scheduler clock
    timespec t{};
    if (clock_gettime(clock, &t) != 0) {
        return -1;
    }
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Voluntary plus involuntary context switches of a thread: each is one time it stopped
// running, so each wake-up shows as one.
long ContextSwitches(uint32_t tid)
{
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    long total = 0;
    while (std::getline(status, line)) {
        if (line.find("ctxt_switches:") != std::string::npos) {
            total += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return total;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

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
    std::atomic<uint64_t>& statuses = host.Count(ClientEvent::StreamStatus);
    // The waiting thread sleeps between looks, leaving the cores to the worker.
    const std::chrono::microseconds pause(1000);
    client.Endpoint.Port = static_cast<uint16_t>(sim.Port());
    client.Connect();
    if (!WaitAbove(host.Count(ClientEvent::VolumesRsp), 0, pause)) {
        std::fprintf(stderr, "no Ready session\n");
        return 1;
    }
    const uint32_t tid = client.Worker.ThreadId.load();

    // Idle in Ready.
    const double idleSeconds = 5;
    long switches = ContextSwitches(tid);
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    double wakeups = static_cast<double>(ContextSwitches(tid) - switches) / idleSeconds;
    std::printf("%-44s %.2f per second  (target <= 1: %s)\n", "Worker wake-ups, idle in Ready", wakeups,
                Verdict(wakeups <= 1.0));

    // 1,000 StreamStatus updates a second, paced from this thread.
    const std::string update = R"({"update-type": "StreamStatus", "streaming": true, "preview-only": false, )"
                               R"("bytes-per-sec": 437500, "strain": 0.0, "total-stream-time": 65000, )"
                               R"("num-total-frames": 1950, "num-dropped-frames": 0, "fps": 30})";
    const int rate = 1000, seconds = 5;
    uint64_t before = statuses.load();
    double cpu = ThreadCpuSeconds(tid);
    switches = ContextSwitches(tid);
    uint64_t mostWaiting = 0;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < rate * seconds; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000000 / rate) * i);
        const uint64_t waiting = static_cast<uint64_t>(i) - (statuses.load() - before);
        mostWaiting = waiting > mostWaiting ? waiting : mostWaiting;
        sim.Broadcast(update);
    }
    WaitAbove(statuses, before + rate * seconds - 1, pause);
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    double percent = 100.0 * (ThreadCpuSeconds(tid) - cpu) / elapsed;
    std::printf("%-44s %.2f %% of a core, %llu updates in %.2f s  (target <= 2 %%: %s)\n",
                "Worker CPU at 1,000 StreamStatus/s", percent,
                static_cast<unsigned long long>(statuses.load() - before), elapsed, Verdict(percent <= 2.0));
    std::printf("%-44s %.0f per second; at most %llu updates sent and not yet raised\n",
                "Worker wake-ups at 1,000 StreamStatus/s",
                static_cast<double>(ContextSwitches(tid) - switches) / elapsed,
                static_cast<unsigned long long>(mostWaiting));

    client.Disconnect();
    sim.Stop();
    return 0;
}
