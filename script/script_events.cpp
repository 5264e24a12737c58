// The event table: the nineteen names in the order the host registers them. Scripts
// subscribe by these names, so they never change.
#include "script/script_events.h"

#include "client/obs_remote_client.h"
#include "haven/host_interface.h"

namespace {

const char* const EventNames[ClientEventCount] = {
    "OBSRemote:StateChanged",
    "OBSRemote:Error",
    "OBSRemote:AuthAccepted",
    "OBSRemote:AuthFailed",
    "OBSRemote:VersionRsp",
    "OBSRemote:VolumesRsp",
    "OBSRemote:AuthRequiredRsp",
    "OBSRemote:StreamStatusRsp",
    "OBSRemote:SceneListRsp",
    "OBSRemote:CurrentSceneRsp",
    "OBSRemote:StreamStarting",
    "OBSRemote:StreamStopping",
    "OBSRemote:StreamStatus",
    "OBSRemote:SwitchScenes",
    "OBSRemote:ScenesChanged",
    "OBSRemote:SourceOrderChanged",
    "OBSRemote:RepopulateSources",
    "OBSRemote:SourceChanged",
    "OBSRemote:VolumeChanged",
};

} // namespace

const char* ScriptEventName(ClientEvent event)
{
    uint32_t index = static_cast<uint32_t>(event);
    return index < ClientEventCount ? EventNames[index] : "";
}

void RegisterScriptEvents(HostInterface* host, ClientHostLink& link)
{
    if (host == nullptr) {
        return;
    }
    for (uint32_t index = 0; index < ClientEventCount; ++index) {
        link.EventIds[index].store(host->RegisterEvent(EventNames[index]));
    }
}
