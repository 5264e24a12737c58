// The one OBS Remote client: connection state machine, worker thread, the status fields
// that answers and updates fill, the scene model, and the requests.
//
// Threads: the host's thread calls Connect, Disconnect, the requests and every read; the
// worker thread runs the WebSocket session and every answer and update handler. Single
// values shared by the two are atomics; texts that one thread replaces while the other
// reads are GuardedText; the scene model has its own locks.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/client_events.h"
#include "client/connection_settings.h"
#include "client/guarded_text.h"
#include "client/reconnect.h"
#include "client/scene_model.h"
#include "client/session.h"
#include "client/session_state.h"
#include "client/wire_protocol.h"
#include "haven/host_interface.h"
#include "support/portable_thread.h"

enum ConnectionState : uint32_t {
    Disconnected = 0,
    Connecting = 1,
    Connected = 2,
    Ready = 3,
    Disconnecting = 4,
};

// "Disconnected", "Connecting", "Connected", "Ready", "Disconnecting"; "Unknown" otherwise.
const char* StateName(uint32_t state);

// How the client reaches its host. The shell fills it at start-up; tests point it at a
// recording host. Event ids are those the host answered to RegisterEvent (0 = none).
struct ClientHostLink {
    std::atomic<HostInterface*> Host{nullptr};
    std::atomic<void*> Identity{nullptr}; // the extension object: "client" in service calls
    std::atomic<uint32_t> EventIds[ClientEventCount] = {};
    std::atomic<ServiceConnection> HttpConnection{0};
    // The extension's settings set, where "Host", "Port", "AutoReconnect" and "Protocol" live; 0 = none.
    std::atomic<SettingsSetId> Settings{0};
};

// Every session asks for the path "/".
constexpr const char SessionPath[] = "/";

class OBSRemoteClient {
public:
    OBSRemoteClient();
    ~OBSRemoteClient();
    OBSRemoteClient(const OBSRemoteClient&) = delete;
    OBSRemoteClient& operator=(const OBSRemoteClient&) = delete;

    // --- worker thread; the record begins with it ---
    CPlatformThread Worker;

    // --- stream information (stream announcement) ---
    GuardedText StreamKey;
    GuardedText StreamUser;
    GuardedText StreamSite;

    // --- authentication ---
    GuardedText AuthSecret;
    GuardedText AuthSecretSalt; // the salt AuthSecret was made with (under Session.SendLock with it)
    bool AuthSecretAccepted = false; // the plug-in accepted AuthSecret (under Session.SendLock)
    std::atomic<bool> HaveAuthInfo{false};
    GuardedText AuthSalt;
    GuardedText AuthChallenge;
    std::atomic<bool> IsAuthenticated{true};

    // --- status ---
    std::atomic<bool> HaveVersion{false};
    std::atomic<double> RemoteVersion{0.0};
    std::atomic<bool> HaveVolumes{false};
    std::atomic<bool> IsMicrophoneMuted{false};
    std::atomic<double> MicrophoneVolume{0.0};
    std::atomic<bool> IsDesktopMuted{false};
    std::atomic<double> DesktopVolume{0.0};
    std::atomic<bool> HaveStreamingStatus{false};
    std::atomic<bool> IsStreaming{false};
    std::atomic<bool> IsPreview{false};
    std::atomic<bool> HaveStreamStats{false};
    std::atomic<int64_t> BytesPerSecond{0};
    std::atomic<double> Strain{0.0};
    std::atomic<int64_t> TotalStreamTime{0};
    std::atomic<int64_t> NumTotalFrames{0};
    std::atomic<int64_t> NumDroppedFrames{0};
    std::atomic<int64_t> FPS{0};

    // --- scene model: CurrentSceneName, ScenesLock and Scenes live in Model ---
    SceneModel Model;

    // --- session: Context, Connection, the send queue and the receive buffer ---
    SessionState Session;

    std::atomic<uint32_t> State{Disconnected};
    // Set on the worker thread by Connect and Disconnect called from its handlers.
    std::atomic<bool> RestartRequested{false};
    std::atomic<bool> DisconnectOnWorker{false};
    uint32_t NextMessageId = 1; // under Session.SendLock

    ClientHostLink Link;
    // The connection settings when the host has no settings set for the extension (tests
    // point the client at their own peer this way). With a set, the set is what counts.
    ConnectionSettings Endpoint; // under EndpointLock while a worker runs
    mutable std::mutex EndpointLock;

    // Automatic reconnection: the awaited attempt and its back-off.
    ReconnectState Reconnect;
    // How long the opening handshake may take, from the start of the TCP connection.
    uint32_t HandshakeLimitMs = 10000;

    // --- wire protocol ---
    // The protocol of the session under way, chosen from its settings when it starts (tests
    // that feed messages without a session set it and call ChooseWire).
    std::atomic<WireKind> Protocol{WireKind::ObsApi};
    WireProtocol& Wire() const { return *ActiveWire.load(); }
    // A session reached Ready: the back-off starts again from its first step. Worker thread.
    void NoteReady();

    // --- state machine ---
    // Both may be called on either thread, also from an event handler that the host runs
    // at once on the worker thread: there they only ask the worker, which acts once the
    // handler has returned.
    void Connect();
    void Disconnect();
    // Stores the state, then raises its event; nothing when the state is unchanged.
    void SetState(uint32_t state);
    // The one-time transition from `from` to `to`: false, and no event, when the state is no
    // longer `from` (the other thread changed it first).
    bool MoveState(uint32_t from, uint32_t to);
    // The worker's word that its session has ended and why; it decides the state that
    // follows. Worker thread, after the session's context is gone.
    void SessionEnded(SessionEnd why);
    // Whether a handler on the worker thread asked for a new session (Connect after the
    // last one's "Disconnected"); readies the client for it. Worker thread.
    bool TakeSessionRestart();
    bool OnWorkerThread() const;
    void RaiseStateChanged(uint32_t state);
    bool IsConnected() const;
    void ResetStatus();

    // --- connection settings (the set's keys, or Endpoint without a set) ---
    // Reads every key; a key whose text is no valid value has its line part in Problems.
    struct SettingsReading {
        ConnectionSettings Values;
        std::string Problems[SettingKeyCount];
    };
    SettingsReading ReadConnectionSettings() const;
    // Reads the settings for a session: prints "HVEOBSRemote: <operation>: <problem>" for
    // each bad value and answers false when there was one.
    bool LoadConnectionSettings(const char* operation, ConnectionSettings& settings);
    // A script's change of one key: checked, then written to the settings set (or to
    // Endpoint without one). A bad text prints its line and changes nothing.
    void ChangeConnectionSetting(const char* operation, SettingKey key, const char* text);
    // True while an automatic attempt is planned or waited for (member ReconnectDelay).
    bool IsReconnectPlanned() const { return Reconnect.DelayMs.load() >= 0; }
    // Whether the AutoReconnect setting asks for another attempt now.
    bool ReconnectWanted() const;

    // --- requests (each prints "HVEOBSRemote: <name>: Not connected" while not connected) ---
    void GetVersion();
    void GetVolumes();
    void SetVolume(const char* channel, float volume, bool final);
    void ToggleMicMute();
    void ToggleDesktopMute();
    void GetAuthRequired();
    void GetStreamingStatus();
    void StartStreaming();
    void StartPreview();
    void GetSceneList();
    void GetCurrentScene();
    void SetCurrentScene(const char* sceneName);
    // nameList: the source names, each in double quotes, joined by single commas.
    void SetSourceOrder(const char* nameList);
    // The same request from bare names: each is JSON-escaped and quoted here.
    void SetSourceOrderNames(const std::vector<std::string>& names);
    void SetSourceRender(const char* sourceName, bool render);
    // The refresh after opening or authenticating: current scene, scene list, streaming
    // status and volumes, in that order.
    void RequestRefresh();

    // --- authentication ---
    void Authenticate(const char* password);
    void SendAuthentication();
    // For the GetAuthRequired answer of a new connection that demands a password: when a
    // secret that the plug-in accepted is kept and its salt is still the one it was made
    // with, answers this connection's challenge and sends RequestRefresh's requests.
    // Otherwise does nothing (a changed salt means a changed password; a try would only use
    // up one of the plug-in's attempts).
    void ReauthenticateIfPossible();
    void MarkAuthenticated();
    // A rejected secret is forgotten: sending it again only uses up the plug-in's attempts.
    void DiscardAuthSecret();
    bool QueryAuthRequired(bool& required);
    bool QueryIsAuthenticated(bool& authenticated);

    // --- host ---
    // Raises an event by its registration index with the given argument texts.
    void Raise(ClientEvent event, int32_t argc = 0, const char* const* argv = nullptr);
    // Prints one line through the host's ConsolePrintf, unformatted.
    void Print(const char* line);
    HostInterface* Host() const { return Link.Host.load(); }

    // Makes Protocol the protocol of the operations and of the session. The worker calls it as
    // each session starts; tests that feed messages without a session call it themselves.
    void ChooseWire();

private:
    void MakeWires();

    std::unique_ptr<WireProtocol> Wires[WireKindCount];
    std::atomic<WireProtocol*> ActiveWire{nullptr};
};
