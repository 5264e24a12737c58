// The OBS Remote plug-in and the bit of OBS behind it, without any networking: it turns
// one received text into the plug-in's answer and the updates that follow, and applies
// changes made on OBS's side. Not thread-safe; OBSSimulator guards it with its lock.
#pragma once

#include <jansson.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/simulator/sim_scene_set.h"

enum class SimChannel { Microphone, Desktop };

struct SimStreamFigures {
    int64_t BytesPerSecond = 312500;
    double Strain = 0.0;
    int64_t DroppedFrames = 0;
    int64_t Fps = 30;
};

struct SimStatus {
    bool Streaming = false; // a real stream or a preview is running
    bool Preview = false;
    float MicVolume = 1.0f;
    float DesktopVolume = 1.0f;
    bool MicMuted = false;
    bool DesktopMuted = false;
};

// A source as the plug-in writes it: "name", "x", "y", "cx", "cy" (reals) and "render".
json_t* SimSourceObject(const SimSource& source);

// What the plug-in keeps per connection.
struct SimPeerConnection {
    std::string Challenge;
    bool Authenticated = false;
};

class SimPeer {
public:
    static constexpr int MaxFailedAttempts = 10;

    // An empty salt makes a new random one; OBS keeps its salt with the password, so a
    // restarted OBS may be given the one it had.
    SimPeer(bool useAuth, const std::string& password, SimSceneSet scenes, const std::string& salt = std::string());

    SimPeerConnection NewConnection() const;
    // The plug-in writes updates only to connections that may see them.
    bool ReceivesUpdates(const SimPeerConnection& connection) const;

    // One received piece of text. Answers false when the plug-in would send nothing (the
    // text does not parse); otherwise answer holds the reply. Updates caused by the request
    // are appended to updates.
    bool HandleRequest(SimPeerConnection& connection, const std::string& text, std::string& answer,
        std::vector<std::string>& updates);

    // Changes made in OBS itself. Each answers whether anything changed and appends the
    // updates the plug-in would broadcast.
    bool SwitchScene(const std::string& name, std::vector<std::string>& updates);
    bool SetSourceRender(const std::string& source, bool render, std::vector<std::string>& updates);
    bool RenameSource(const std::string& from, const std::string& to, std::vector<std::string>& updates);
    bool ReorderSources(const std::vector<std::string>& names, std::vector<std::string>& updates);
    bool AddSource(const SimSource& source, std::vector<std::string>& updates);
    bool RemoveSource(const std::string& source, std::vector<std::string>& updates);
    bool AddScene(const std::string& name, std::vector<std::string>& updates);
    void ReplaceScenes(const SimSceneSet& scenes, std::vector<std::string>& updates);
    void AnnounceScenesChanged(std::vector<std::string>& updates);
    void SetVolume(SimChannel channel, float volume, bool final, std::vector<std::string>& updates);
    void ToggleMute(SimChannel channel, std::vector<std::string>& updates);
    bool StartStream(bool preview, std::vector<std::string>& updates);
    bool StopStream(std::vector<std::string>& updates);
    // OBS's start/stop button: stops whatever runs, otherwise starts (a preview when asked).
    void ToggleStream(bool preview, std::vector<std::string>& updates);
    // The status-bar refresh while OBS runs; nothing when idle.
    bool StreamStatus(std::chrono::steady_clock::time_point now, std::vector<std::string>& updates);
    void SetStreamFigures(const SimStreamFigures& figures) { Figures = figures; }

    void SetAuth(bool useAuth, const std::string& password);
    void ResetFailedAttempts() { FailedAttempts = 0; }
    int FailedAuthAttempts() const { return FailedAttempts; }
    bool UsesAuth() const { return UseAuth; }
    const std::string& Salt() const { return AuthSalt; }

    SimSceneSet Scenes() const;
    SimStatus Status() const;

private:
    struct Volume {
        float Level = 1.0f;
        float LastUnmuted = 1.0f;
    };

    using Handler = json_t* (SimPeer::*)(SimPeerConnection&, json_t*, std::vector<std::string>&);
    struct Route {
        const char* Name;
        Handler Run;
        bool OpenBeforeAuth;
    };
    static const Route Routes[];

    json_t* OnGetVersion(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnGetAuthRequired(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnAuthenticate(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnGetCurrentScene(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnGetSceneList(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnSetCurrentScene(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnSetSourceOrder(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnSetSourceRender(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnSetSceneItemPositionAndSize(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnGetStreamingStatus(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnStartStopStreaming(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnToggleMute(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnGetVolumes(SimPeerConnection&, json_t*, std::vector<std::string>&);
    json_t* OnSetVolume(SimPeerConnection&, json_t*, std::vector<std::string>&);

    SimScene* CurrentScene();
    const SimScene* CurrentScene() const;
    int FindSceneIgnoringCase(const std::string& name) const;
    bool SwitchTo(int index, const std::string& reportedName, std::vector<std::string>& updates);
    Volume& ChannelVolume(SimChannel channel) { return channel == SimChannel::Microphone ? Mic : Desktop; }
    void ReportVolume(SimChannel channel, bool final, std::vector<std::string>& updates);
    void ReportRepopulate(std::vector<std::string>& updates);

    bool UseAuth;
    std::string AuthSalt;
    std::string AuthHash;
    int FailedAttempts = 0;

    std::vector<SimScene> SceneList;
    int Current = -1;
    Volume Mic;
    Volume Desktop;

    bool Running = false;
    bool PreviewFlag = false;
    std::chrono::steady_clock::time_point RunningSince;
    SimStreamFigures Figures;
};
