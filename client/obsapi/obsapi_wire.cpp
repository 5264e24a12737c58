#include "client/obsapi/obsapi_wire.h"

#include "client/auth_hash.h"
#include "client/dispatch.h"
#include "client/json_escape.h"
#include "client/obs_remote_client.h"
#include "client/requests.h"
#include "support/portable_lock.h"

// No Authenticate among the opening requests: the kept secret can only answer this
// connection's own challenge, which comes with the GetAuthRequired answer
// (ReauthenticateIfPossible).
void ObsApiWire::Opened(OBSRemoteClient& client)
{
    client.GetVersion();
    client.GetAuthRequired();
    client.RequestRefresh();
    client.NoteReady();
    client.MoveState(Connected, Ready);
}

void ObsApiWire::Received(OBSRemoteClient& client, json_t* message) { DispatchMessage(client, message); }

void ObsApiWire::GetVersion(OBSRemoteClient& client)
{
    SendRequest(client, "GetVersion", SmallRequestBuffer, RequestBody::Plain("GetVersion"));
}

void ObsApiWire::GetVolumes(OBSRemoteClient& client)
{
    SendRequest(client, "GetVolumes", SmallRequestBuffer, RequestBody::Plain("GetVolumes"));
}

void ObsApiWire::SetVolume(OBSRemoteClient& client, const char* channel, float volume, bool final)
{
    SendRequest(client, "SetVolume", NameRequestBuffer, RequestBody::SetVolume(channel, volume, final));
}

void ObsApiWire::ToggleMicMute(OBSRemoteClient& client)
{
    SendRequest(client, "ToggleMicMute", SmallRequestBuffer, RequestBody::ToggleMute("microphone"));
}

void ObsApiWire::ToggleDesktopMute(OBSRemoteClient& client)
{
    SendRequest(client, "ToggleDesktopMute", SmallRequestBuffer, RequestBody::ToggleMute("desktop"));
}

// Scripts know this one by the name of its event, hence the message's "GetStreamStatus".
void ObsApiWire::GetStreamingStatus(OBSRemoteClient& client)
{
    SendRequest(client, "GetStreamStatus", SmallRequestBuffer, RequestBody::Plain("GetStreamingStatus"));
}

void ObsApiWire::StartStreaming(OBSRemoteClient& client)
{
    SendRequest(client, "StartStreaming", SmallRequestBuffer, RequestBody::StartStopStreaming(false));
}

void ObsApiWire::StartPreview(OBSRemoteClient& client)
{
    SendRequest(client, "StartPreview", SmallRequestBuffer, RequestBody::StartStopStreaming(true));
}

void ObsApiWire::GetSceneList(OBSRemoteClient& client)
{
    SendRequest(client, "GetSceneList", SmallRequestBuffer, RequestBody::Plain("GetSceneList"));
}

void ObsApiWire::GetCurrentScene(OBSRemoteClient& client)
{
    SendRequest(client, "GetCurrentScene", SmallRequestBuffer, RequestBody::Plain("GetCurrentScene"));
}

void ObsApiWire::SetCurrentScene(OBSRemoteClient& client, const char* sceneName)
{
    SendRequest(client, "SetCurrentScene", NameRequestBuffer, RequestBody::SetCurrentScene(sceneName));
}

void ObsApiWire::SetSourceOrder(OBSRemoteClient& client, const char* nameList)
{
    SendRequest(client, "SetSourceOrder", ListRequestBuffer, RequestBody::SetSourceOrder(nameList));
}

void ObsApiWire::SetSourceOrderNames(OBSRemoteClient& client, const std::vector<std::string>& names)
{
    SendRequest(client, "SetSourceOrder", ListRequestBuffer, RequestBody::SetSourceOrder(JsonQuotedList(names).c_str()));
}

void ObsApiWire::SetSourceRender(OBSRemoteClient& client, const char* sourceName, bool render)
{
    SendRequest(client, "SetSourceRender", NameRequestBuffer, RequestBody::SetSourceRender(sourceName, render));
}

void ObsApiWire::Authenticate(OBSRemoteClient& client, const char* password)
{
    if (!client.IsConnected()) {
        client.Print("HVEOBSRemote: Authenticate: Not connected");
        return;
    }
    std::string salt = client.AuthSalt.Get();
    {
        CWinLock guard(&client.Session.SendLock);
        client.AuthSecret.Set(Base64Sha256(password != nullptr ? password : "", salt));
        client.AuthSecretSalt.Set(salt);
        client.AuthSecretAccepted = false;
    }
    client.SendAuthentication();
    client.RequestRefresh();
}
