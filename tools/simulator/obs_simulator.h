// An in-process stand-in for OBS with the OBS Remote plug-in: a WebSocket server on the
// loopback addresses that speaks the plug-in's "obsapi" protocol, answers every request the
// way the plug-in does and broadcasts its updates. Tests start it on any port, change
// OBS's state from the test thread and look at what the client sent.
//
// Threads: the server runs on its own service thread. Every public operation may be called
// from any thread; they share one lock, and only the service thread touches the
// WebSocket library's objects.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator/sim_peer.h"
#include "tools/simulator/sim_scene_set.h"

// One piece of text the server received, as the plug-in handles it: a frame's payload in
// pieces of at most 4096 bytes, each on its own.
struct SimReceived {
    uint64_t Connection = 0; // 1 for the first connection of the server's life, then 2, ...
    std::string Text;
    std::string RequestType; // empty when the text does not parse or names no type
};

struct OBSSimulatorOptions {
    bool UseAuth = true;
    std::string Password = "admin";
    // The salt the password was stored with; empty makes a new one. A restarted OBS keeps
    // its salt, so a client's kept secret still fits.
    std::string Salt;
    SimSceneSet Scenes = DefaultSceneSet();
    // How often StreamStatus goes out while OBS streams or previews.
    std::chrono::milliseconds StatusInterval{1000};
    // Shows libwebsockets' own log (process-wide) when set.
    bool Verbose = false;
    // Called on the service thread, outside the lock, for every received piece.
    std::function<void(const SimReceived&)> OnReceived;
};

class OBSSimulator {
public:
    OBSSimulator();
    explicit OBSSimulator(OBSSimulatorOptions options);
    ~OBSSimulator();
    OBSSimulator(const OBSSimulator&) = delete;
    OBSSimulator& operator=(const OBSSimulator&) = delete;

    // Listens on 127.0.0.1 and, where the machine has it, ::1. Port 0 picks a free port.
    // Answers false when the port is taken or the server already runs.
    bool Start(int port = 0);
    // Closes every connection (status 1001, as OBS does when it shuts the plug-in down).
    void Stop();
    bool IsRunning() const;
    int Port() const;
    bool ListensOnIPv6() const;

    // Changes made in OBS itself; the plug-in's updates go to every connection that may
    // receive them. The bool results say whether anything changed.
    bool SwitchScene(const std::string& name);
    bool SetSourceRender(const std::string& source, bool render);
    bool RenameSource(const std::string& from, const std::string& to);
    bool ReorderSources(const std::vector<std::string>& names);
    bool AddSource(const SimSource& source);
    bool RemoveSource(const std::string& source);
    bool AddScene(const std::string& name);
    void ReplaceScenes(const SimSceneSet& scenes); // sends ScenesChanged
    void AnnounceScenesChanged();
    void SetVolume(SimChannel channel, float volume, bool final = true);
    void ToggleMute(SimChannel channel);
    bool StartStream(bool preview = false);
    bool StopStream();
    // Sends a StreamStatus update now (only while OBS streams or previews).
    bool SendStreamStatus();
    void SetStreamFigures(const SimStreamFigures& figures);
    // Writes any text as one frame to every connection that receives updates.
    void Broadcast(const std::string& text);

    // Authentication: a new password makes a new salt; connections keep their challenge
    // and their authenticated flag.
    void SetAuth(bool useAuth, const std::string& password);
    void ResetFailedAuthAttempts(); // what restarting OBS does
    int FailedAuthAttempts() const;
    std::string Salt() const;

    SimSceneSet Scenes() const;
    SimStatus Status() const;

    // Connections.
    size_t ConnectionCount() const;
    uint64_t ConnectionsAccepted() const;
    bool WaitForConnectionCount(size_t count, std::chrono::milliseconds timeout) const;
    // Closes every connection from the server's side.
    void CloseAllConnections();
    // The status codes of the close frames clients sent, in arrival order (1005 for a close
    // without a status).
    std::vector<int> PeerCloseStatuses() const;
    // The next count opening handshakes are refused.
    void FailNextHandshakes(int count = 1);

    // What the clients sent, in arrival order.
    std::vector<SimReceived> Received() const;
    std::vector<std::string> ReceivedOn(uint64_t connection) const;
    void ClearReceived();
    bool WaitForReceivedCount(size_t count, std::chrono::milliseconds timeout) const;
    // The first received piece at or after index `from` whose "request-type" is
    // requestType; nothing if none arrives in time.
    std::optional<SimReceived> WaitForRequest(const std::string& requestType, std::chrono::milliseconds timeout,
        size_t from = 0) const;

    struct Impl;

private:
    std::unique_ptr<Impl> Self;
};
