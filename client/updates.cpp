#include "client/updates.h"

#include <string>

#include "client/event_args.h"
#include "client/json_read.h"
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/stream_announcement.h"
#include "support/portable_lock.h"

namespace {

using UpdateHandler = void (*)(OBSRemoteClient&, json_t*);

struct UpdateRoute {
    const char* Type;
    UpdateHandler Handler;
};

const UpdateRoute UpdateRoutes[] = {
    {"StreamStarting", OnStreamStarting},
    {"StreamStopping", OnStreamStopping},
    {"StreamStatus", OnStreamStatus},
    {"SwitchScenes", OnSwitchScenes},
    {"ScenesChanged", OnScenesChanged},
    {"SourceOrderChanged", OnSourceOrderChanged},
    {"RepopulateSources", OnRepopulateSources},
    {"SourceChanged", OnSourceChanged},
    {"VolumeChanged", OnVolumeChanged},
};

} // namespace

void RouteUpdate(OBSRemoteClient& client, json_t* message)
{
    const char* type = ReadString(message, "update-type");
    if (type == nullptr) {
        return;
    }
    for (const UpdateRoute& route : UpdateRoutes) {
        if (NamesEqualIgnoringCase(type, route.Type)) {
            route.Handler(client, message);
            return;
        }
    }
}

// Only a real stream is announced; the announcement goes out before scripts hear of the start.
void OnStreamStarting(OBSRemoteClient& client, json_t* message)
{
    bool preview = ReadFlag(message, "preview-only");
    client.IsStreaming.store(true);
    client.IsPreview.store(preview);
    client.HaveStreamingStatus.store(true);
    if (!preview) {
        ReadStreamInfo(client);
        if (!client.StreamKey.Empty() && !client.StreamUser.Empty()) {
            AnnounceStream(client);
        }
    }
    EventArg b = EventArg::Flag(preview);
    const char* args[] = {"1", b.Text()};
    client.Raise(ClientEvent::StreamStarting, 2, args);
}

void OnStreamStopping(OBSRemoteClient& client, json_t* message)
{
    bool preview = ReadFlag(message, "preview-only");
    client.IsStreaming.store(false);
    client.IsPreview.store(preview);
    client.HaveStreamingStatus.store(true);
    EventArg b = EventArg::Flag(preview);
    const char* args[] = {"0", b.Text()};
    client.Raise(ClientEvent::StreamStopping, 2, args);
}

// Statistics arrive about once a second while OBS runs, also during a preview; they leave
// HaveStreamingStatus alone.
void OnStreamStatus(OBSRemoteClient& client, json_t* message)
{
    bool streaming = ReadFlag(message, "streaming");
    bool preview = ReadFlag(message, "preview-only");
    int64_t bytesPerSecond = ReadInteger(message, "bytes-per-sec");
    double strain = ReadReal(message, "strain");
    int64_t totalTime = ReadInteger(message, "total-stream-time");
    int64_t totalFrames = ReadInteger(message, "num-total-frames");
    int64_t droppedFrames = ReadInteger(message, "num-dropped-frames");
    int64_t fps = ReadInteger(message, "fps");
    client.IsStreaming.store(streaming);
    client.IsPreview.store(preview);
    client.BytesPerSecond.store(bytesPerSecond);
    client.Strain.store(strain);
    client.TotalStreamTime.store(totalTime);
    client.NumTotalFrames.store(totalFrames);
    client.NumDroppedFrames.store(droppedFrames);
    client.FPS.store(fps);
    client.HaveStreamStats.store(true);

    EventArg a[] = {EventArg::Flag(streaming),       EventArg::Flag(preview),     EventArg::Counter(bytesPerSecond),
                    EventArg::Volume(strain),        EventArg::Counter(totalTime), EventArg::Counter(totalFrames),
                    EventArg::Counter(droppedFrames), EventArg::Counter(fps)};
    const char* args[] = {a[0].Text(), a[1].Text(), a[2].Text(), a[3].Text(),
                          a[4].Text(), a[5].Text(), a[6].Text(), a[7].Text()};
    client.Raise(ClientEvent::StreamStatus, 8, args);
}

// The new scene's sources are not asked for: the model keeps what it last learnt of them.
void OnSwitchScenes(OBSRemoteClient& client, json_t* message)
{
    const char* name = ReadString(message, "scene-name");
    if (name == nullptr) {
        return;
    }
    client.Model.SetCurrentSceneName(name);
    std::string current = client.Model.CurrentSceneNameCopy();
    const char* args[] = {current.c_str()};
    client.Raise(ClientEvent::SwitchScenes, 1, args);
}

// No list comes with it; scripts that want the new one ask for it.
void OnScenesChanged(OBSRemoteClient& client, json_t*) { client.Raise(ClientEvent::ScenesChanged); }

// ScenesLock is held while the current scene is changed, so the scene cannot go away
// between the look-up and the change.
void OnSourceOrderChanged(OBSRemoteClient& client, json_t* message)
{
    {
        CWinLock guard(&client.Model.ScenesLock);
        if (SceneInfo* scene = client.Model.CurrentScene()) {
            SceneModel::ReorderSources(scene, ReadMember(message, "sources"));
        }
    }
    client.Raise(ClientEvent::SourceOrderChanged);
}

void OnRepopulateSources(OBSRemoteClient& client, json_t* message)
{
    {
        CWinLock guard(&client.Model.ScenesLock);
        if (SceneInfo* scene = client.Model.CurrentScene()) {
            SceneModel::PopulateSources(scene, ReadMember(message, "sources"));
        }
    }
    client.Raise(ClientEvent::RepopulateSources);
}

// "source-name" is the name the client knows the source by, the object's "name" its name
// after the change: a renamed source keeps its record and its place.
void OnSourceChanged(OBSRemoteClient& client, json_t* message)
{
    const char* knownName = ReadString(message, "source-name");
    json_t* object = ReadMember(message, "source");
    const char* newName = ReadString(object, "name");
    if (knownName == nullptr || newName == nullptr) {
        return;
    }
    {
        CWinLock guard(&client.Model.ScenesLock);
        if (SceneInfo* scene = client.Model.CurrentScene()) {
            CWinLock sources(&scene->SourcesLock);
            SourceInfo* source = SceneModel::FindSource(scene, knownName, true);
            source->Name = newName;
            source->Width = ReadReal(object, "cx");
            source->Height = ReadReal(object, "cy");
            source->X = ReadReal(object, "x");
            source->Y = ReadReal(object, "y");
            source->Render = ReadFlag(object, "render");
        }
    }
    client.Raise(ClientEvent::SourceChanged);
}

// Only the two channels the client keeps are stored; any other is reported as received.
void OnVolumeChanged(OBSRemoteClient& client, json_t* message)
{
    const char* channel = ReadString(message, "channel");
    if (channel == nullptr) {
        return;
    }
    bool muted = ReadFlag(message, "muted");
    double volume = ReadReal(message, "volume");
    if (NamesEqualIgnoringCase(channel, "desktop")) {
        client.IsDesktopMuted.store(muted);
        client.DesktopVolume.store(volume);
    } else if (NamesEqualIgnoringCase(channel, "microphone")) {
        client.IsMicrophoneMuted.store(muted);
        client.MicrophoneVolume.store(volume);
    }
    EventArg m = EventArg::Flag(muted), v = EventArg::Volume(volume), f = EventArg::Flag(ReadFlag(message, "finalValue"));
    const char* args[] = {channel, m.Text(), v.Text(), f.Text()};
    client.Raise(ClientEvent::VolumeChanged, 4, args);
}
