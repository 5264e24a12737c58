// The obsremote type's operations on obs-websocket 5.
#include <cmath>

#include "client/auth_hash.h"
#include "client/json_read.h"
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/obsws/obsws_wire.h"
#include "support/portable_lock.h"

using obsws::Pending;
using obsws::Step;

namespace {

// jansson takes only UTF-8 text; anything else cannot be sent.
json_t* Text(const char* text) { return json_string(text != nullptr ? text : ""); }

Pending Expect(Step step)
{
    Pending pending;
    pending.What = step;
    return pending;
}

} // namespace

void ObsWsWire::GetVersion(OBSRemoteClient& client)
{
    Request(client, "GetVersion", "GetVersion", nullptr, Expect(Step::Version));
}

void ObsWsWire::GetVolumes(OBSRemoteClient& client)
{
    if (MayRequest(client, "GetVolumes")) {
        WithSpecialInputs(client, [this](OBSRemoteClient& c) { AskVolumes(c, "GetVolumes"); });
    }
}

// The plug-in's volumes run from 0 to 1; obs-websocket's multiplier goes further, so the
// range is kept here. "final" has no counterpart: every change is final.
void ObsWsWire::SetVolume(OBSRemoteClient& client, const char* channel, float volume, bool)
{
    if (!MayRequest(client, "SetVolume")) {
        return;
    }
    bool microphone = NamesEqualIgnoringCase(channel, "microphone");
    if (!microphone && !NamesEqualIgnoringCase(channel, "desktop")) {
        Unsupported(client, "SetVolume", "Unknown channel; obs-websocket has \"microphone\" and \"desktop\"");
        return;
    }
    double value = std::isnan(volume) ? 0.0 : std::fmin(1.0, std::fmax(0.0, static_cast<double>(volume)));
    WithSpecialInputs(client, [this, microphone, value](OBSRemoteClient& c) {
        std::string input;
        {
            std::lock_guard<std::mutex> guard(Lock);
            input = microphone ? MicInput : DesktopInput;
        }
        if (input.empty()) {
            Unsupported(c, "SetVolume", microphone ? "OBS has no microphone input" : "OBS has no desktop audio input");
            return;
        }
        json_t* data = json_object();
        json_object_set_new(data, "inputName", json_string(input.c_str()));
        json_object_set_new(data, "inputVolumeMul", json_real(value));
        Request(c, "SetVolume", "SetInputVolume", data, Pending{});
    });
}

void ObsWsWire::ToggleMicMute(OBSRemoteClient& client)
{
    if (!MayRequest(client, "ToggleMicMute")) {
        return;
    }
    WithSpecialInputs(client, [this](OBSRemoteClient& c) {
        std::string input;
        {
            std::lock_guard<std::mutex> guard(Lock);
            input = MicInput;
        }
        if (input.empty()) {
            Unsupported(c, "ToggleMicMute", "OBS has no microphone input");
            return;
        }
        json_t* data = json_object();
        json_object_set_new(data, "inputName", json_string(input.c_str()));
        Request(c, "ToggleMicMute", "ToggleInputMute", data, Pending{});
    });
}

void ObsWsWire::ToggleDesktopMute(OBSRemoteClient& client)
{
    if (!MayRequest(client, "ToggleDesktopMute")) {
        return;
    }
    WithSpecialInputs(client, [this](OBSRemoteClient& c) {
        std::string input;
        {
            std::lock_guard<std::mutex> guard(Lock);
            input = DesktopInput;
        }
        if (input.empty()) {
            Unsupported(c, "ToggleDesktopMute", "OBS has no desktop audio input");
            return;
        }
        json_t* data = json_object();
        json_object_set_new(data, "inputName", json_string(input.c_str()));
        Request(c, "ToggleDesktopMute", "ToggleInputMute", data, Pending{});
    });
}

// Scripts know this one by the name of its event, hence the message's "GetStreamStatus".
void ObsWsWire::GetStreamingStatus(OBSRemoteClient& client)
{
    Request(client, "GetStreamStatus", "GetStreamStatus", nullptr, Expect(Step::StreamingStatus));
}

void ObsWsWire::StartStreaming(OBSRemoteClient& client)
{
    Request(client, "StartStreaming", "ToggleStream", nullptr, Pending{});
}

void ObsWsWire::StartPreview(OBSRemoteClient& client)
{
    if (MayRequest(client, "StartPreview")) {
        Unsupported(client, "StartPreview", "obs-websocket has no preview-only streaming");
    }
}

void ObsWsWire::GetSceneList(OBSRemoteClient& client)
{
    Request(client, "GetSceneList", "GetSceneList", nullptr, Expect(Step::SceneList));
}

void ObsWsWire::GetCurrentScene(OBSRemoteClient& client)
{
    Request(client, "GetCurrentScene", "GetCurrentProgramScene", nullptr, Expect(Step::CurrentScene));
}

void ObsWsWire::SetCurrentScene(OBSRemoteClient& client, const char* sceneName)
{
    json_t* name = Text(sceneName);
    if (name == nullptr) {
        if (MayRequest(client, "SetCurrentScene")) {
            Unsupported(client, "SetCurrentScene", "The name is not UTF-8 text");
        }
        return;
    }
    json_t* data = json_object();
    json_object_set_new(data, "sceneName", name);
    Request(client, "SetCurrentScene", "SetCurrentProgramScene", data, Pending{});
}

// The plug-in's form of the list: JSON strings joined by commas.
void ObsWsWire::SetSourceOrder(OBSRemoteClient& client, const char* nameList)
{
    std::string text = "[";
    text += nameList != nullptr ? nameList : "";
    text += "]";
    json_t* list = json_loads(text.c_str(), 0, nullptr);
    std::vector<std::string> names;
    bool valid = json_is_array(list);
    for (size_t i = 0; valid && i < ArraySize(list); ++i) {
        const char* name = ArrayString(list, i);
        valid = name != nullptr;
        if (valid) {
            names.push_back(name);
        }
    }
    json_decref(list);
    if (!valid) {
        if (MayRequest(client, "SetSourceOrder")) {
            Unsupported(client, "SetSourceOrder", "The name list is not a list of quoted names");
        }
        return;
    }
    SetSourceOrderNames(client, names);
}

// Acts on the current scene, as the plug-in did: its items are read first, then moved.
void ObsWsWire::SetSourceOrderNames(OBSRemoteClient& client, const std::vector<std::string>& names)
{
    if (!MayRequest(client, "SetSourceOrder")) {
        return;
    }
    std::string scene = client.Model.CurrentSceneNameCopy();
    if (scene.empty()) {
        Unsupported(client, "SetSourceOrder", "No current scene is known");
        return;
    }
    Pending pending = Expect(Step::OrderItems);
    pending.Operation = "SetSourceOrder";
    pending.Names = names;
    AskItems(client, scene, std::move(pending));
}

// The plug-in's request names the source; obs-websocket wants the item's id in the current
// scene, so the id is asked for first.
void ObsWsWire::SetSourceRender(OBSRemoteClient& client, const char* sourceName, bool render)
{
    if (!MayRequest(client, "SetSourceRender")) {
        return;
    }
    std::string scene = client.Model.CurrentSceneNameCopy();
    json_t* name = Text(sourceName);
    if (scene.empty() || name == nullptr) {
        Unsupported(client, "SetSourceRender", scene.empty() ? "No current scene is known" : "The name is not UTF-8 text");
        json_decref(name);
        return;
    }
    json_t* data = json_object();
    json_object_set_new(data, "sceneName", json_string(scene.c_str()));
    json_object_set_new(data, "sourceName", name);
    Pending pending = Expect(Step::RenderItemId);
    pending.Scene = scene;
    pending.Render = render;
    Request(client, "SetSourceRender", "GetSceneItemId", data, std::move(pending));
}

// The secret is kept as for the plug-in: Base64(SHA-256(password ‖ salt)); Identify answers
// the Hello's challenge with Base64(SHA-256(secret ‖ challenge)). Before the Hello there is no
// salt yet: the password waits for it. Once identified, the four questions that follow an
// Authenticate are asked again.
void ObsWsWire::Authenticate(OBSRemoteClient& client, const char* password)
{
    if (!client.IsConnected()) {
        client.Print("HVEOBSRemote: Authenticate: Not connected");
        return;
    }
    std::string salt, challenge;
    bool identified = false;
    bool identify = false;
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (!HelloSeen) {
            PasswordBeforeHello = password != nullptr ? password : "";
            return;
        }
        salt = HelloSalt;
        challenge = HelloChallenge;
        identified = Identified;
        if (!Identified && IdentifySent) {
            return; // an Identify is on its way; its answer decides, and keeps its secret
        }
        if (!Identified) {
            IdentifySent = identify = true;
        }
    }
    std::string secret = Base64Sha256(password != nullptr ? password : "", salt);
    {
        CWinLock guard(&client.Session.SendLock);
        client.AuthSecret.Set(secret);
        client.AuthSecretSalt.Set(salt);
        client.AuthSecretAccepted = false;
    }
    if (identified) {
        AskOpeningState(client);
    } else if (identify) {
        SendIdentify(client, challenge.empty() ? std::string() : Base64Sha256(secret, challenge));
    }
}
