#include "client/answers.h"

#include <string>

#include "client/event_args.h"
#include "client/json_read.h"
#include "client/obs_remote_client.h"
#include "support/portable_lock.h"

// An answer to any of these four requests shows that the plug-in accepts this client, so it
// marks the client authenticated before its own changes.
void OnStreamingStatusResponse(OBSRemoteClient& client, json_t* message)
{
    client.MarkAuthenticated();
    bool streaming = ReadFlag(message, "streaming");
    bool preview = ReadFlag(message, "preview-only");
    client.IsStreaming.store(streaming);
    client.IsPreview.store(preview);
    client.HaveStreamingStatus.store(true);

    EventArg a = EventArg::Flag(streaming), b = EventArg::Flag(preview);
    const char* args[] = {a.Text(), b.Text()};
    client.Raise(ClientEvent::StreamStatusRsp, 2, args);
}

// Known scenes keep their records and places, new ones are appended in the list's order,
// scenes the list no longer names are deleted. Scripts walking the list from another thread
// wait for ScenesLock, which is held until the event has been raised.
void OnSceneListResponse(OBSRemoteClient& client, json_t* message)
{
    const char* current = ReadString(message, "current-scene");
    if (current == nullptr) {
        return; // the plug-in leaves it out when the current scene's name is empty
    }
    client.MarkAuthenticated();
    SceneModel& model = client.Model;
    model.SetCurrentSceneName(current);

    CWinLock guard(&model.ScenesLock);
    model.MarkScenesStale();
    json_t* scenes = ReadMember(message, "scenes");
    for (size_t i = 0, n = ArraySize(scenes); i < n; ++i) {
        json_t* element = ArrayElement(scenes, i);
        SceneInfo* scene = model.FindScene(ReadString(element, "name"), true);
        if (scene == nullptr) {
            continue; // a scene without a name cannot be stored; the others still are
        }
        SceneModel::PopulateSources(scene, ReadMember(element, "sources"));
        scene->Stale = false;
    }
    model.RemoveStaleScenes();
    client.Raise(ClientEvent::SceneListRsp);
}

void OnCurrentSceneResponse(OBSRemoteClient& client, json_t* message)
{
    const char* name = ReadString(message, "name");
    if (name == nullptr) {
        return;
    }
    client.MarkAuthenticated();
    SceneModel& model = client.Model;
    std::string current;
    {
        CWinLock guard(&model.ScenesLock);
        model.SetCurrentSceneName(name);
        SceneModel::PopulateSources(model.FindScene(name, true), ReadMember(message, "sources"));
        current = model.CurrentSceneName;
    }
    const char* args[] = {current.c_str()};
    client.Raise(ClientEvent::CurrentSceneRsp, 1, args);
}

// The version answer is served before authentication, so it proves nothing about it.
void OnVersionResponse(OBSRemoteClient& client, json_t* message)
{
    double version = ReadReal(message, "version");
    client.RemoteVersion.store(version);
    client.HaveVersion.store(true);

    EventArg text = EventArg::Version(version);
    const char* args[] = {text.Text()};
    client.Raise(ClientEvent::VersionRsp, 1, args);
}

void OnVolumesResponse(OBSRemoteClient& client, json_t* message)
{
    client.MarkAuthenticated();
    bool micMuted = ReadFlag(message, "mic-muted");
    bool desktopMuted = ReadFlag(message, "desktop-muted");
    double micVolume = ReadReal(message, "mic-volume");
    double desktopVolume = ReadReal(message, "desktop-volume");
    client.IsMicrophoneMuted.store(micMuted);
    client.IsDesktopMuted.store(desktopMuted);
    client.MicrophoneVolume.store(micVolume);
    client.DesktopVolume.store(desktopVolume);
    client.HaveVolumes.store(true);

    EventArg a = EventArg::Flag(micMuted), b = EventArg::Volume(micVolume);
    EventArg c = EventArg::Flag(desktopMuted), d = EventArg::Volume(desktopVolume);
    const char* args[] = {a.Text(), b.Text(), c.Text(), d.Text()};
    client.Raise(ClientEvent::VolumesRsp, 4, args);
}
