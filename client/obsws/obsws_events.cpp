// obs-websocket 5 events as the plug-in's updates. Updates that concern sources act on the
// current scene only, as the plug-in's did; events of other scenes change nothing. Events
// that name a scene item by id are followed by a fresh GetSceneItemList of the scene, which
// gives the item's name and every field the update carries.
//
// On quitting, OBS first removes every scene and input (SceneRemoved, InputRemoved), then says
// ExitStarted and closes. Only SceneListChanged and SceneNameChanged become "ScenesChanged"
// (a scene created or removed by a user brings a SceneListChanged with it; the teardown
// does not), so the teardown reaches scripts as nothing but the end of the connection.
#include <cstring>

#include "client/json_read.h"
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/obsws/obsws_translate.h"
#include "client/obsws/obsws_wire.h"
#include "client/updates.h"

using obsws::Made;
using obsws::Pending;
using obsws::Step;

namespace {

bool Is(const char* type, const char* name) { return std::strcmp(type, name) == 0; }

} // namespace

bool ObsWsWire::IsCurrentScene(OBSRemoteClient& client, const char* scene)
{
    if (scene == nullptr) {
        return false;
    }
    std::string current = client.Model.CurrentSceneNameCopy();
    return !current.empty() && NamesEqualIgnoringCase(scene, current.c_str());
}

void ObsWsWire::OnEvent(OBSRemoteClient& client, json_t* data)
{
    const char* type = ReadString(data, "eventType");
    json_t* event = ReadMember(data, "eventData");
    if (type == nullptr) {
        return;
    }
    if (Is(type, "ExitStarted")) {
        std::lock_guard<std::mutex> guard(Lock);
        Exiting = true;
        Polling = false;
    } else if (Is(type, "CurrentProgramSceneChanged")) {
        const char* name = ReadString(event, "sceneName");
        if (name != nullptr) {
            Made update(json_object());
            json_object_set_new(update.Value, "scene-name", json_string(name));
            OnSwitchScenes(client, update.Value);
        }
    } else if (Is(type, "SceneListChanged") || Is(type, "SceneNameChanged")) {
        OnScenesChanged(client, event);
    } else if (Is(type, "SceneItemCreated") || Is(type, "SceneItemRemoved") || Is(type, "SceneItemListReindexed") ||
               Is(type, "SceneItemEnableStateChanged") || Is(type, "SceneItemTransformChanged")) {
        const char* scene = ReadString(event, "sceneName");
        if (!IsCurrentScene(client, scene)) {
            return;
        }
        Pending pending;
        pending.What = Is(type, "SceneItemListReindexed")                                       ? Step::Reorder
                       : Is(type, "SceneItemCreated") || Is(type, "SceneItemRemoved")             ? Step::Repopulate
                                                                                                   : Step::ItemChanged;
        json_t* id = ReadMember(event, "sceneItemId");
        if (pending.What == Step::ItemChanged && !json_is_integer(id)) {
            return;
        }
        pending.ItemId = json_is_integer(id) ? json_integer_value(id) : 0;
        AskItems(client, scene, std::move(pending));
    } else if (Is(type, "InputVolumeChanged")) {
        json_t* volume = ReadMember(event, "inputVolumeMul");
        if (json_is_number(volume)) {
            double value = json_number_value(volume);
            OnInputVolume(client, ReadString(event, "inputName"), &value, nullptr);
        }
    } else if (Is(type, "InputMuteStateChanged")) {
        json_t* muted = ReadMember(event, "inputMuted");
        if (json_is_boolean(muted)) {
            bool value = json_is_true(muted);
            OnInputVolume(client, ReadString(event, "inputName"), nullptr, &value);
        }
    } else if (Is(type, "InputNameChanged")) {
        const char* old = ReadString(event, "oldInputName");
        const char* name = ReadString(event, "inputName");
        if (old != nullptr && name != nullptr) {
            std::lock_guard<std::mutex> guard(Lock);
            for (std::string* input : {&MicInput, &DesktopInput}) {
                if (!input->empty() && *input == old) {
                    *input = name;
                }
            }
        }
    } else if (Is(type, "StreamStateChanged")) {
        const char* state = ReadString(event, "outputState");
        if (state != nullptr) {
            OnStreamState(client, state);
        }
    }
}

// A volume or mute change of the microphone or desktop input: "VolumeChanged" carries both,
// so the one that did not change is the client's last known value. obs-websocket knows no
// slider still moving, so every change is final.
void ObsWsWire::OnInputVolume(OBSRemoteClient& client, const char* input, const double* volume, const bool* muted)
{
    if (input == nullptr) {
        return;
    }
    bool microphone = false;
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (!MicInput.empty() && MicInput == input) {
            microphone = true;
        } else if (DesktopInput.empty() || DesktopInput != input) {
            return;
        }
    }
    double newVolume = volume != nullptr ? *volume
                       : microphone      ? client.MicrophoneVolume.load()
                                         : client.DesktopVolume.load();
    bool newMuted = muted != nullptr ? *muted : microphone ? client.IsMicrophoneMuted.load() : client.IsDesktopMuted.load();
    Made update(json_object());
    json_object_set_new(update.Value, "channel", json_string(microphone ? "microphone" : "desktop"));
    json_object_set_new(update.Value, "volume", json_real(newVolume));
    json_object_set_new(update.Value, "muted", json_boolean(newMuted));
    json_object_set_new(update.Value, "finalValue", json_true());
    OnVolumeChanged(client, update.Value);
}

// The stream is announced and reported as started once OBS has it running, and as stopped
// once it has ended, also when it never got going (a failed start goes from starting to
// stopped). Statistics are asked for while it runs.
void ObsWsWire::OnStreamState(OBSRemoteClient& client, const char* state)
{
    bool started = Is(state, "OBS_WEBSOCKET_OUTPUT_STARTED");
    if (!started && !Is(state, "OBS_WEBSOCKET_OUTPUT_STOPPED")) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        Polling = started;
        if (started) {
            NextPoll = std::chrono::steady_clock::now() + obsws::StreamPollInterval;
            LastBytes = LastDurationMs = 0;
        }
    }
    Made update(json_object());
    json_object_set_new(update.Value, "preview-only", json_false());
    if (started) {
        OnStreamStarting(client, update.Value);
    } else {
        OnStreamStopping(client, update.Value);
    }
}
