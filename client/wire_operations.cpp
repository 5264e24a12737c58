// The client's operations as the obsremote type calls them: each goes to the wire protocol
// of the current session (of the last Connect; the OBS Remote plug-in's before the first).
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/obsapi/obsapi_wire.h"
#include "client/obsws/obsws_wire.h"

void OBSRemoteClient::MakeWires()
{
    Wires[static_cast<uint32_t>(WireKind::ObsApi)] = std::make_unique<ObsApiWire>();
    Wires[static_cast<uint32_t>(WireKind::ObsWebSocket)] = std::make_unique<ObsWsWire>();
    ActiveWire.store(Wires[0].get());
}

void OBSRemoteClient::ChooseWire()
{
    uint32_t kind = static_cast<uint32_t>(Protocol.load());
    ActiveWire.store(Wires[kind < WireKindCount ? kind : 0].get());
}

void OBSRemoteClient::NoteReady()
{
    Reconnect.Backoff.Reset();
    Reconnect.ReadyReached = true;
}

void OBSRemoteClient::GetVersion() { Wire().GetVersion(*this); }
void OBSRemoteClient::GetVolumes() { Wire().GetVolumes(*this); }
void OBSRemoteClient::SetVolume(const char* channel, float volume, bool final)
{
    Wire().SetVolume(*this, channel, volume, final);
}
void OBSRemoteClient::ToggleMicMute() { Wire().ToggleMicMute(*this); }
void OBSRemoteClient::ToggleDesktopMute() { Wire().ToggleDesktopMute(*this); }
void OBSRemoteClient::GetStreamingStatus() { Wire().GetStreamingStatus(*this); }
void OBSRemoteClient::StartStreaming() { Wire().StartStreaming(*this); }
void OBSRemoteClient::StartPreview() { Wire().StartPreview(*this); }
void OBSRemoteClient::GetSceneList() { Wire().GetSceneList(*this); }
void OBSRemoteClient::GetCurrentScene() { Wire().GetCurrentScene(*this); }
void OBSRemoteClient::SetCurrentScene(const char* sceneName) { Wire().SetCurrentScene(*this, sceneName); }
void OBSRemoteClient::SetSourceOrder(const char* nameList) { Wire().SetSourceOrder(*this, nameList); }
void OBSRemoteClient::SetSourceOrderNames(const std::vector<std::string>& names)
{
    Wire().SetSourceOrderNames(*this, names);
}
void OBSRemoteClient::SetSourceRender(const char* sourceName, bool render)
{
    Wire().SetSourceRender(*this, sourceName, render);
}
void OBSRemoteClient::Authenticate(const char* password) { Wire().Authenticate(*this, password); }
