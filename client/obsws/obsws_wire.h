// OBS Studio's obs-websocket 5 protocol (RPC version 1) behind the client's operations.
//
// Handshake: the server's Hello (op 0) may carry an authentication challenge; the client
// answers with Identify (op 1: RPC version, the answer to the challenge, the event groups it
// wants) and may send requests once Identified (op 2) arrives. A wrong password ends the
// connection with close code 4009.
//
// Requests (op 6, answered by op 7) and batches (op 8, answered by op 9) carry a "requestId";
// what an answer does is recorded per id when the request is sent. Most script operations
// take more than one request (a scene list is GetSceneList, then GetSceneItemList for each
// scene), so the records also carry what the next step needs. Events (op 5) become the same
// script events and model changes as the OBS Remote plug-in's updates, by way of the shared
// handlers: this protocol hands them messages in the plug-in's own form.
//
// Threads: requests are recorded on the issuing thread, answers and events handled on the
// worker. Lock guards every per-connection field; it is never held while a request is
// queued, a handler runs or an event is raised.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "client/wire_protocol.h"

namespace obsws {

// Event groups asked for in Identify: General (ExitStarted), Scenes, Inputs, Outputs,
// SceneItems and SceneItemTransformChanged. The high-volume InputVolumeMeters,
// InputActiveStateChanged and InputShowStateChanged are left out.
constexpr int64_t EventSubscriptions = 1 | 4 | 8 | 64 | 128 | (1 << 19);
// obs-websocket sends no statistics by itself: they are asked for this often while streaming.
constexpr std::chrono::milliseconds StreamPollInterval{2000};
// The longest request text sent, as long as the plug-in's longest request buffer.
constexpr size_t MaxRequestText = 4096;

// A scene list being put together from GetSceneList and one GetSceneItemList per scene.
struct SceneListBuild {
    std::string Current;
    std::vector<std::string> Names;       // OBS's visible order: the top of its list first
    std::vector<json_t*> Sources;         // per scene, in the plug-in's form; owned
    size_t Remaining = 0;
    ~SceneListBuild();
};

// What the answer to one request does.
enum class Step : uint8_t {
    Plain,            // a script's request: only a failure is reported
    Version,          // GetVersion
    CurrentScene,     // GetCurrentProgramScene, then the scene's items
    CurrentItems,     // GetSceneItemList for the current-scene answer
    SceneList,        // GetSceneList, then every scene's items
    SceneListItems,   // GetSceneItemList for one scene of a list
    StreamingStatus,  // GetStreamStatus
    SpecialInputs,    // GetSpecialInputs: the desktop and microphone inputs
    Volumes,          // batch of GetInputVolume and GetInputMute
    RenderItemId,     // GetSceneItemId, then SetSceneItemEnabled
    OrderItems,       // GetSceneItemList, then the moves that put the named items on top
    MoveItems,        // batch of SetSceneItemIndex, run by OBS in order; then the next batch
    Repopulate,       // GetSceneItemList after an item was created or removed
    Reorder,          // GetSceneItemList after the items were reindexed
    ItemChanged,      // GetSceneItemList after one item changed
    StreamPoll,       // batch of GetStreamStatus and GetStats
};

struct Pending {
    Step What = Step::Plain;
    std::string Operation; // the script operation, for failure texts
    std::string Scene;
    std::vector<std::string> Names;
    int64_t ItemId = 0;
    bool Render = false;
    std::shared_ptr<SceneListBuild> Build;
    size_t Index = 0;
    uint32_t VolumeSlots = 0; // Volumes: bit 0 microphone asked, bit 1 desktop asked
    // MoveItems: the moves (item id, index from the bottom) still to send after this batch.
    std::vector<std::pair<int64_t, int64_t>> Moves;
};

// Steps answered by a batch (op 9) rather than a single response (op 7).
constexpr bool IsBatchStep(Step step)
{
    return step == Step::Volumes || step == Step::StreamPoll || step == Step::MoveItems;
}

} // namespace obsws

class ObsWsWire final : public WireProtocol {
public:
    const char* SubProtocol() const override { return "obswebsocket.json"; }
    uint16_t DefaultPort() const override { return 4455; }

    void Opened(OBSRemoteClient& client) override;
    void Received(OBSRemoteClient& client, json_t* message) override;
    void PeerClosing(OBSRemoteClient& client, uint16_t code, const char* reason, size_t length) override;
    bool Ticks() const override { return true; }
    void Tick(OBSRemoteClient& client) override;

    void GetVersion(OBSRemoteClient& client) override;
    void GetVolumes(OBSRemoteClient& client) override;
    void SetVolume(OBSRemoteClient& client, const char* channel, float volume, bool final) override;
    void ToggleMicMute(OBSRemoteClient& client) override;
    void ToggleDesktopMute(OBSRemoteClient& client) override;
    void GetStreamingStatus(OBSRemoteClient& client) override;
    void StartStreaming(OBSRemoteClient& client) override;
    void StartPreview(OBSRemoteClient& client) override;
    void GetSceneList(OBSRemoteClient& client) override;
    void GetCurrentScene(OBSRemoteClient& client) override;
    void SetCurrentScene(OBSRemoteClient& client, const char* sceneName) override;
    void SetSourceOrder(OBSRemoteClient& client, const char* nameList) override;
    void SetSourceOrderNames(OBSRemoteClient& client, const std::vector<std::string>& names) override;
    void SetSourceRender(OBSRemoteClient& client, const char* sourceName, bool render) override;
    void Authenticate(OBSRemoteClient& client, const char* password) override;

private:
    // --- sending (obsws_send.cpp) ---
    // Refuses while not connected ("Not connected" line) or not identified (the
    // "OBSRemote:Error" event "Not Authenticated", as the plug-in answers), and a text longer
    // than MaxRequestText ("Request too long" line). requestData may be none; it is released.
    bool Request(OBSRemoteClient& client, const char* operation, const char* requestType, json_t* requestData,
                 obsws::Pending pending);
    // requests: an array of {requestType, requestData}; released. OBS runs a batch's requests
    // one after the other, in order, where separate requests may run at the same time.
    bool Batch(OBSRemoteClient& client, const char* operation, json_t* requests, obsws::Pending pending,
               bool haltOnFailure = false);
    void SendIdentify(OBSRemoteClient& client, const std::string& auth);
    bool Queue(OBSRemoteClient& client, const char* operation, const std::string& text);
    bool MayRequest(OBSRemoteClient& client, const char* operation);
    std::string TakeId(obsws::Pending pending);
    void Forget(const std::string& id);
    // One console line and one "OBSRemote:Error" event for what this protocol cannot do.
    void Unsupported(OBSRemoteClient& client, const char* operation, const std::string& text);

    // --- handshake and answers (obsws_answers.cpp) ---
    void OnHello(OBSRemoteClient& client, json_t* data);
    void OnIdentified(OBSRemoteClient& client);
    void OnResponse(OBSRemoteClient& client, json_t* data);
    void OnBatchResponse(OBSRemoteClient& client, json_t* data);
    // The record of an answered id, when it is ours and answered in the form it was sent in.
    bool TakeOutstanding(const char* id, bool batch, obsws::Pending& pending);
    void Answer(OBSRemoteClient& client, obsws::Pending& pending, json_t* data);
    void AskOpeningState(OBSRemoteClient& client);
    void AskVolumes(OBSRemoteClient& client, const char* operation);
    void AskItems(OBSRemoteClient& client, const std::string& scene, obsws::Pending pending);
    void OnSceneListItems(OBSRemoteClient& client, obsws::Pending& pending, json_t* items);
    void OrderItems(OBSRemoteClient& client, const obsws::Pending& pending, json_t* items);
    void SendMoves(OBSRemoteClient& client, const std::string& operation, const std::string& scene,
                   std::vector<std::pair<int64_t, int64_t>> moves);
    void OnStreamPoll(OBSRemoteClient& client, json_t* results);
    // Runs `action` now when the special inputs are known, or once their answer arrives.
    void WithSpecialInputs(OBSRemoteClient& client, std::function<void(OBSRemoteClient&)> action);

    // --- events (obsws_events.cpp) ---
    void OnEvent(OBSRemoteClient& client, json_t* data);
    void OnStreamState(OBSRemoteClient& client, const char* state);
    void OnInputVolume(OBSRemoteClient& client, const char* input, const double* volume, const bool* muted);
    bool IsCurrentScene(OBSRemoteClient& client, const char* scene);

    // --- per-connection state, under Lock ---
    std::mutex Lock;
    uint64_t NextId = 1;
    std::map<std::string, obsws::Pending> Outstanding;
    bool HelloSeen = false;
    std::string HelloSalt, HelloChallenge; // the Hello's challenge, empty when none was made
    // A password given before the Hello: answered with the Hello's salt once it arrives.
    std::optional<std::string> PasswordBeforeHello;
    bool IdentifySent = false;
    bool Identified = false;
    bool Exiting = false; // ExitStarted: OBS is tearing everything down
    bool HaveSpecialInputs = false;
    bool SpecialInputsAsked = false;
    std::string MicInput, DesktopInput; // empty: OBS has none
    std::vector<std::function<void(OBSRemoteClient&)>> AfterSpecialInputs;
    bool Polling = false;
    bool PollOutstanding = false;
    std::chrono::steady_clock::time_point NextPoll{};
    int64_t LastBytes = 0;
    int64_t LastDurationMs = 0;
};
