// The plug-in's side of each request: dispatch, the authentication gate and the answers.
#include <cstdio>

#include "tools/simulator/sim_auth.h"
#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_peer.h"

namespace {

json_t* Ok()
{
    json_t* answer = json_object();
    json_object_set_new(answer, "status", json_string("ok"));
    return answer;
}

json_t* Error(const char* text)
{
    json_t* answer = json_object();
    json_object_set_new(answer, "status", json_string("error"));
    json_object_set_new(answer, "error", json_string(text));
    return answer;
}

json_t* SourceArray(const std::vector<SimSource>& sources)
{
    json_t* array = json_array();
    for (const SimSource& source : sources)
        json_array_append_new(array, SimSourceObject(source));
    return array;
}

// The channel names are matched like stricmp does for ASCII text.
bool ReadChannel(json_t* request, SimChannel& channel, const char*& error)
{
    json_t* value = json_object_get(request, "channel");
    if (!json_is_string(value)) {
        error = "Channel not specified.";
        return false;
    }
    std::string name = json_string_value(value);
    if (SimEqualsIgnoringCase(name, "desktop"))
        channel = SimChannel::Desktop;
    else if (SimEqualsIgnoringCase(name, "microphone"))
        channel = SimChannel::Microphone;
    else {
        error = "Invalid channel specified.";
        return false;
    }
    return true;
}

} // namespace

const SimPeer::Route SimPeer::Routes[] = {
    {"GetVersion", &SimPeer::OnGetVersion, true},
    {"GetAuthRequired", &SimPeer::OnGetAuthRequired, true},
    {"Authenticate", &SimPeer::OnAuthenticate, true},
    {"GetCurrentScene", &SimPeer::OnGetCurrentScene, false},
    {"GetSceneList", &SimPeer::OnGetSceneList, false},
    {"SetCurrentScene", &SimPeer::OnSetCurrentScene, false},
    {"SetSourceOrder", &SimPeer::OnSetSourceOrder, false},
    {"SetSourceRender", &SimPeer::OnSetSourceRender, false},
    {"SetSceneItemPositionAndSize", &SimPeer::OnSetSceneItemPositionAndSize, false},
    {"GetStreamingStatus", &SimPeer::OnGetStreamingStatus, false},
    {"StartStopStreaming", &SimPeer::OnStartStopStreaming, false},
    {"ToggleMute", &SimPeer::OnToggleMute, false},
    {"GetVolumes", &SimPeer::OnGetVolumes, false},
    {"SetVolume", &SimPeer::OnSetVolume, false},
};

bool SimPeer::HandleRequest(SimPeerConnection& connection, const std::string& text, std::string& answer,
    std::vector<std::string>& updates)
{
    // The plug-in parses a zero-terminated copy: an embedded zero byte ends the text there.
    json_error_t error;
    SimJson request(json_loads(text.c_str(), JSON_DISABLE_EOF_CHECK, &error));
    if (!request)
        return false;

    SimJson reply;
    json_t* type = json_object_get(request.get(), "request-type");
    if (!json_is_string(type)) {
        reply.reset(Error("message type not specified"));
    } else {
        const Route* route = nullptr;
        for (const Route& candidate : Routes)
            if (std::string(candidate.Name) == json_string_value(type))
                route = &candidate;
        if (route == nullptr)
            reply.reset(Error("message type not recognized"));
        else if (UseAuth && !connection.Authenticated && !route->OpenBeforeAuth)
            reply.reset(Error("Not Authenticated"));
        else
            reply.reset((this->*(route->Run))(connection, request.get(), updates));
    }

    // Only a text id is echoed; a numeric one is left out of the answer.
    json_t* id = json_object_get(request.get(), "message-id");
    if (json_is_string(id))
        json_object_set(reply.get(), "message-id", id);
    answer = SimDump(reply.get());
    return true;
}

json_t* SimPeer::OnGetVersion(SimPeerConnection&, json_t*, std::vector<std::string>&)
{
    json_t* answer = Ok();
    json_object_set_new(answer, "version", json_real(1.1));
    return answer;
}

json_t* SimPeer::OnGetAuthRequired(SimPeerConnection& connection, json_t*, std::vector<std::string>&)
{
    json_t* answer = Ok();
    json_object_set_new(answer, "authRequired", json_boolean(UseAuth));
    if (UseAuth) {
        json_object_set_new(answer, "challenge", json_string(connection.Challenge.c_str()));
        json_object_set_new(answer, "salt", json_string(AuthSalt.c_str()));
    }
    return answer;
}

json_t* SimPeer::OnAuthenticate(SimPeerConnection& connection, json_t* request, std::vector<std::string>&)
{
    static const char* const Locked =
        "OBS Remote Locked: Maximum failed authentication attempts reached. Please Restart OBS to Unlock.";
    json_t* auth = json_object_get(request, "auth");
    if (!json_is_string(auth))
        return Error("auth not specified!");
    // The check runs against the stored hash even with authentication off, and every
    // mismatch counts, as in the plug-in.
    bool correct = SimExpectedAuth(AuthHash, connection.Challenge) == json_string_value(auth);
    if (FailedAttempts >= MaxFailedAttempts)
        return Error(Locked);
    if (correct) {
        FailedAttempts = 0;
        connection.Authenticated = true;
        return Ok();
    }
    ++FailedAttempts;
    if (FailedAttempts >= MaxFailedAttempts)
        return Error(Locked);
    char text[96];
    std::snprintf(text, sizeof text, "Authentication Failed. Attempts Remaining: %d", MaxFailedAttempts - FailedAttempts);
    return Error(text);
}

json_t* SimPeer::OnGetCurrentScene(SimPeerConnection&, json_t*, std::vector<std::string>&)
{
    json_t* answer = Ok();
    const SimScene* scene = CurrentScene();
    if (scene != nullptr)
        SimSetName(answer, "name", scene->Name);
    json_object_set_new(answer, "sources", SourceArray(scene != nullptr ? scene->Sources : std::vector<SimSource>()));
    return answer;
}

json_t* SimPeer::OnGetSceneList(SimPeerConnection&, json_t*, std::vector<std::string>&)
{
    json_t* answer = Ok();
    const SimScene* current = CurrentScene();
    if (current != nullptr)
        SimSetName(answer, "current-scene", current->Name);
    json_t* scenes = json_array();
    for (const SimScene& scene : SceneList) {
        json_t* object = json_object();
        SimSetName(object, "name", scene.Name);
        json_object_set_new(object, "sources", SourceArray(scene.Sources));
        json_array_append_new(scenes, object);
    }
    json_object_set_new(answer, "scenes", scenes);
    return answer;
}

json_t* SimPeer::OnSetCurrentScene(SimPeerConnection&, json_t* request, std::vector<std::string>& updates)
{
    // OBS reports the switch with the name as the request spelled it; the answer is "ok"
    // even when no scene bears that name.
    json_t* name = json_object_get(request, "scene-name");
    if (json_is_string(name)) {
        std::string requested = json_string_value(name);
        SwitchTo(FindSceneIgnoringCase(requested), requested, updates);
    }
    return Ok();
}

json_t* SimPeer::OnSetSourceOrder(SimPeerConnection&, json_t* request, std::vector<std::string>& updates)
{
    json_t* list = json_object_get(request, "scene-names");
    if (json_is_array(list)) {
        std::vector<std::string> names;
        for (size_t i = 0; i < json_array_size(list); ++i) {
            json_t* item = json_array_get(list, i);
            names.push_back(json_is_string(item) ? json_string_value(item) : std::string());
        }
        ReorderSources(names, updates);
    }
    return Ok();
}

json_t* SimPeer::OnSetSourceRender(SimPeerConnection&, json_t* request, std::vector<std::string>& updates)
{
    json_t* source = json_object_get(request, "source");
    if (!json_is_string(source))
        return Error("No source specified");
    json_t* render = json_object_get(request, "render");
    if (!json_is_boolean(render))
        return Error("No render specified");
    SetSourceRender(json_string_value(source), json_is_true(render), updates);
    return Ok();
}

json_t* SimPeer::OnSetSceneItemPositionAndSize(SimPeerConnection&, json_t*, std::vector<std::string>&)
{
    return Ok();
}

json_t* SimPeer::OnGetStreamingStatus(SimPeerConnection&, json_t*, std::vector<std::string>&)
{
    json_t* answer = Ok();
    json_object_set_new(answer, "streaming", json_boolean(Running));
    json_object_set_new(answer, "preview-only", json_boolean(PreviewFlag));
    return answer;
}

json_t* SimPeer::OnStartStopStreaming(SimPeerConnection&, json_t* request, std::vector<std::string>& updates)
{
    ToggleStream(json_is_true(json_object_get(request, "preview-only")), updates);
    return Ok();
}

json_t* SimPeer::OnToggleMute(SimPeerConnection&, json_t* request, std::vector<std::string>& updates)
{
    SimChannel channel = SimChannel::Microphone;
    const char* error = nullptr;
    if (!ReadChannel(request, channel, error))
        return Error(error);
    ToggleMute(channel, updates);
    return Ok();
}

json_t* SimPeer::OnGetVolumes(SimPeerConnection&, json_t*, std::vector<std::string>&)
{
    SimStatus status = Status();
    json_t* answer = Ok();
    json_object_set_new(answer, "mic-volume", json_real(static_cast<double>(status.MicVolume)));
    json_object_set_new(answer, "mic-muted", json_boolean(status.MicMuted));
    json_object_set_new(answer, "desktop-volume", json_real(static_cast<double>(status.DesktopVolume)));
    json_object_set_new(answer, "desktop-muted", json_boolean(status.DesktopMuted));
    return answer;
}

json_t* SimPeer::OnSetVolume(SimPeerConnection&, json_t* request, std::vector<std::string>& updates)
{
    json_t* volume = json_object_get(request, "volume");
    if (volume == nullptr)
        return Error("Volume not specified.");
    if (!json_is_number(volume))
        return Error("Volume not number.");
    json_t* final = json_object_get(request, "final");
    if (final == nullptr)
        return Error("Final not specified.");
    if (!json_is_boolean(final))
        return Error("Final is not a boolean.");
    SimChannel channel = SimChannel::Microphone;
    const char* error = nullptr;
    if (!ReadChannel(request, channel, error))
        return Error(error);
    // Clamped before narrowing: OBS takes the value as a float in 0..1.
    double level = json_number_value(volume);
    level = level < 0.0 ? 0.0 : (level > 1.0 ? 1.0 : level);
    SetVolume(channel, static_cast<float>(level), json_is_true(final), updates);
    return Ok();
}
