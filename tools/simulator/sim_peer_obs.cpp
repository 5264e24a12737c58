// OBS's side of the simulator: the scene and audio state, the changes OBS makes (asked by
// a request or done in OBS itself) and the updates the plug-in broadcasts for them.
#include <algorithm>

#include "tools/simulator/sim_auth.h"
#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_peer.h"

namespace {

// OBS counts a channel as muted below this level.
constexpr float MuteLevel = 0.05f;

json_t* NewUpdate(const char* type)
{
    json_t* update = json_object();
    json_object_set_new(update, "update-type", json_string(type));
    return update;
}

void Emit(json_t* update, std::vector<std::string>& updates)
{
    SimJson owned(update);
    updates.push_back(SimDump(owned.get()));
}

} // namespace

json_t* SimSourceObject(const SimSource& source)
{
    json_t* object = json_object();
    SimSetName(object, "name", source.Name);
    json_object_set_new(object, "x", json_real(static_cast<double>(source.X)));
    json_object_set_new(object, "y", json_real(static_cast<double>(source.Y)));
    json_object_set_new(object, "cx", json_real(static_cast<double>(source.CX)));
    json_object_set_new(object, "cy", json_real(static_cast<double>(source.CY)));
    json_object_set_new(object, "render", json_boolean(source.Render));
    return object;
}

namespace {

int FindSource(const SimScene& scene, const std::string& name)
{
    for (size_t i = 0; i < scene.Sources.size(); ++i)
        if (scene.Sources[i].Name == name)
            return static_cast<int>(i);
    return -1;
}

} // namespace

SimPeer::SimPeer(bool useAuth, const std::string& password, SimSceneSet scenes, const std::string& salt)
    : UseAuth(false)
{
    SetAuth(useAuth, password);
    if (useAuth && !salt.empty()) {
        AuthSalt = salt;
        AuthHash = SimHashText(password + AuthSalt);
    }
    std::vector<std::string> nobodyListens;
    ReplaceScenes(scenes, nobodyListens);
}

void SimPeer::SetAuth(bool useAuth, const std::string& password)
{
    // A new salt only comes with a password; turning authentication off keeps the old
    // hash, against which Authenticate requests are still checked.
    UseAuth = useAuth;
    if (useAuth) {
        AuthSalt = SimRandomToken();
        AuthHash = SimHashText(password + AuthSalt);
    }
}

SimPeerConnection SimPeer::NewConnection() const
{
    SimPeerConnection connection;
    connection.Challenge = SimRandomToken();
    return connection;
}

bool SimPeer::ReceivesUpdates(const SimPeerConnection& connection) const
{
    return !UseAuth || connection.Authenticated;
}

SimScene* SimPeer::CurrentScene()
{
    return Current >= 0 && Current < static_cast<int>(SceneList.size()) ? &SceneList[static_cast<size_t>(Current)] : nullptr;
}

const SimScene* SimPeer::CurrentScene() const
{
    return Current >= 0 && Current < static_cast<int>(SceneList.size()) ? &SceneList[static_cast<size_t>(Current)] : nullptr;
}

int SimPeer::FindSceneIgnoringCase(const std::string& name) const
{
    for (size_t i = 0; i < SceneList.size(); ++i)
        if (SimEqualsIgnoringCase(SceneList[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

bool SimPeer::SwitchTo(int index, const std::string& reportedName, std::vector<std::string>& updates)
{
    if (index < 0 || index == Current)
        return false;
    Current = index;
    json_t* update = NewUpdate("SwitchScenes");
    SimSetName(update, "scene-name", reportedName);
    Emit(update, updates);
    return true;
}

bool SimPeer::SwitchScene(const std::string& name, std::vector<std::string>& updates)
{
    int index = FindSceneIgnoringCase(name);
    return index >= 0 && SwitchTo(index, SceneList[static_cast<size_t>(index)].Name, updates);
}

bool SimPeer::SetSourceRender(const std::string& source, bool render, std::vector<std::string>& updates)
{
    SimScene* scene = CurrentScene();
    if (scene == nullptr)
        return false;
    int index = FindSource(*scene, source);
    if (index < 0 || scene->Sources[static_cast<size_t>(index)].Render == render)
        return false;
    SimSource& changed = scene->Sources[static_cast<size_t>(index)];
    changed.Render = render;
    json_t* update = NewUpdate("SourceChanged");
    SimSetName(update, "source-name", source);
    json_object_set_new(update, "source", SimSourceObject(changed));
    Emit(update, updates);
    return true;
}

bool SimPeer::RenameSource(const std::string& from, const std::string& to, std::vector<std::string>& updates)
{
    SimScene* scene = CurrentScene();
    if (scene == nullptr)
        return false;
    int index = FindSource(*scene, from);
    if (index < 0)
        return false;
    SimSource& renamed = scene->Sources[static_cast<size_t>(index)];
    renamed.Name = to;
    // The update names the source by its old name and carries the new one inside.
    json_t* update = NewUpdate("SourceChanged");
    SimSetName(update, "source-name", from);
    json_object_set_new(update, "source", SimSourceObject(renamed));
    Emit(update, updates);
    return true;
}

bool SimPeer::ReorderSources(const std::vector<std::string>& names, std::vector<std::string>& updates)
{
    // Each listed source in turn goes to the bottom, so unlisted ones end up first.
    SimScene* scene = CurrentScene();
    if (scene == nullptr || scene->Sources.empty())
        return false;
    for (const std::string& name : names) {
        int index = FindSource(*scene, name);
        if (index < 0)
            continue;
        SimSource moved = scene->Sources[static_cast<size_t>(index)];
        scene->Sources.erase(scene->Sources.begin() + index);
        scene->Sources.push_back(moved);
    }
    json_t* update = NewUpdate("SourceOrderChanged");
    json_t* list = json_array();
    for (const SimSource& source : scene->Sources)
        SimAppendName(list, source.Name);
    json_object_set_new(update, "sources", list);
    Emit(update, updates);
    return true;
}

void SimPeer::ReportRepopulate(std::vector<std::string>& updates)
{
    const SimScene* scene = CurrentScene();
    json_t* update = NewUpdate("RepopulateSources");
    json_t* list = json_array();
    if (scene != nullptr)
        for (const SimSource& source : scene->Sources)
            json_array_append_new(list, SimSourceObject(source));
    json_object_set_new(update, "sources", list);
    Emit(update, updates);
}

bool SimPeer::AddSource(const SimSource& source, std::vector<std::string>& updates)
{
    SimScene* scene = CurrentScene();
    if (scene == nullptr)
        return false;
    scene->Sources.push_back(source);
    ReportRepopulate(updates);
    return true;
}

bool SimPeer::RemoveSource(const std::string& source, std::vector<std::string>& updates)
{
    SimScene* scene = CurrentScene();
    if (scene == nullptr)
        return false;
    int index = FindSource(*scene, source);
    if (index < 0)
        return false;
    scene->Sources.erase(scene->Sources.begin() + index);
    ReportRepopulate(updates);
    return true;
}

bool SimPeer::AddScene(const std::string& name, std::vector<std::string>& updates)
{
    if (FindSceneIgnoringCase(name) >= 0)
        return false;
    SceneList.push_back({name, {}});
    if (Current < 0)
        Current = 0;
    AnnounceScenesChanged(updates);
    return true;
}

void SimPeer::ReplaceScenes(const SimSceneSet& scenes, std::vector<std::string>& updates)
{
    SceneList = scenes.Scenes;
    Current = FindSceneIgnoringCase(scenes.CurrentScene);
    if (Current < 0 && !SceneList.empty())
        Current = 0;
    Mic = Volume();
    Desktop = Volume();
    Mic.Level = std::clamp(scenes.MicVolume, 0.0f, 1.0f);
    Desktop.Level = std::clamp(scenes.DesktopVolume, 0.0f, 1.0f);
    AnnounceScenesChanged(updates);
}

void SimPeer::AnnounceScenesChanged(std::vector<std::string>& updates)
{
    Emit(NewUpdate("ScenesChanged"), updates);
}

void SimPeer::ReportVolume(SimChannel channel, bool final, std::vector<std::string>& updates)
{
    float level = ChannelVolume(channel).Level;
    json_t* update = NewUpdate("VolumeChanged");
    json_object_set_new(update, "channel", json_string(channel == SimChannel::Microphone ? "microphone" : "desktop"));
    json_object_set_new(update, "volume", json_real(static_cast<double>(level)));
    json_object_set_new(update, "muted", json_boolean(level < MuteLevel));
    json_object_set_new(update, "finalValue", json_boolean(final));
    Emit(update, updates);
}

void SimPeer::SetVolume(SimChannel channel, float volume, bool final, std::vector<std::string>& updates)
{
    Volume& target = ChannelVolume(channel);
    target.Level = std::clamp(volume, 0.0f, 1.0f);
    if (target.Level >= MuteLevel)
        target.LastUnmuted = target.Level;
    ReportVolume(channel, final, updates);
}

void SimPeer::ToggleMute(SimChannel channel, std::vector<std::string>& updates)
{
    // Muting drops the level to 0.0; un-muting brings back the last audible level.
    Volume& target = ChannelVolume(channel);
    if (target.Level < MuteLevel) {
        if (target.LastUnmuted < MuteLevel)
            target.LastUnmuted = 1.0f;
        target.Level = target.LastUnmuted;
    } else {
        target.LastUnmuted = target.Level;
        target.Level = 0.0f;
    }
    ReportVolume(channel, true, updates);
}

bool SimPeer::StartStream(bool preview, std::vector<std::string>& updates)
{
    if (Running)
        return false;
    Running = true;
    PreviewFlag = preview;
    RunningSince = std::chrono::steady_clock::now();
    json_t* update = NewUpdate("StreamStarting");
    json_object_set_new(update, "preview-only", json_boolean(PreviewFlag));
    Emit(update, updates);
    return true;
}

bool SimPeer::StopStream(std::vector<std::string>& updates)
{
    if (!Running)
        return false;
    // The update carries the flag of the stream being stopped; OBS clears it afterwards.
    json_t* update = NewUpdate("StreamStopping");
    json_object_set_new(update, "preview-only", json_boolean(PreviewFlag));
    Emit(update, updates);
    Running = false;
    PreviewFlag = false;
    return true;
}

void SimPeer::ToggleStream(bool preview, std::vector<std::string>& updates)
{
    // The "test stream" command sets OBS's preview flag before it looks at what runs, so
    // stopping a real stream that way reports a preview being stopped.
    if (Running) {
        if (preview)
            PreviewFlag = true;
        StopStream(updates);
    } else {
        StartStream(preview, updates);
    }
}

bool SimPeer::StreamStatus(std::chrono::steady_clock::time_point now, std::vector<std::string>& updates)
{
    if (!Running)
        return false;
    int64_t elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - RunningSince).count();
    if (elapsedMs < 0)
        elapsedMs = 0;
    json_t* update = NewUpdate("StreamStatus");
    json_object_set_new(update, "streaming", json_true());
    json_object_set_new(update, "preview-only", json_boolean(PreviewFlag));
    json_object_set_new(update, "bytes-per-sec", json_integer(PreviewFlag ? 0 : Figures.BytesPerSecond));
    json_object_set_new(update, "strain", json_real(Figures.Strain));
    json_object_set_new(update, "total-stream-time", json_integer(elapsedMs));
    json_object_set_new(update, "num-total-frames", json_integer(elapsedMs * Figures.Fps / 1000));
    json_object_set_new(update, "num-dropped-frames", json_integer(Figures.DroppedFrames));
    json_object_set_new(update, "fps", json_integer(Figures.Fps));
    Emit(update, updates);
    return true;
}

SimSceneSet SimPeer::Scenes() const
{
    SimSceneSet set;
    set.Scenes = SceneList;
    const SimScene* current = CurrentScene();
    if (current != nullptr)
        set.CurrentScene = current->Name;
    set.MicVolume = Mic.Level;
    set.DesktopVolume = Desktop.Level;
    return set;
}

SimStatus SimPeer::Status() const
{
    SimStatus status;
    status.Streaming = Running;
    status.Preview = PreviewFlag;
    status.MicVolume = Mic.Level;
    status.DesktopVolume = Desktop.Level;
    status.MicMuted = Mic.Level < MuteLevel;
    status.DesktopMuted = Desktop.Level < MuteLevel;
    return status;
}
