// Placeholders for client operations not written yet. Each is removed when its real
// implementation lands.
#include "client/obs_remote_client.h"

void OBSRemoteClient::Connect() {}
void OBSRemoteClient::Disconnect() {}
void OBSRemoteClient::GetVersion() {}
void OBSRemoteClient::GetVolumes() {}
void OBSRemoteClient::SetVolume(const char*, float, bool) {}
void OBSRemoteClient::ToggleMicMute() {}
void OBSRemoteClient::ToggleDesktopMute() {}
void OBSRemoteClient::GetAuthRequired() {}
void OBSRemoteClient::GetStreamingStatus() {}
void OBSRemoteClient::StartStreaming() {}
void OBSRemoteClient::StartPreview() {}
void OBSRemoteClient::GetSceneList() {}
void OBSRemoteClient::GetCurrentScene() {}
void OBSRemoteClient::SetCurrentScene(const char*) {}
void OBSRemoteClient::SetSourceOrder(const char*) {}
void OBSRemoteClient::SetSourceRender(const char*, bool) {}
void OBSRemoteClient::Authenticate(const char*) {}
void OBSRemoteClient::SendAuthentication() {}
void OBSRemoteClient::MarkAuthenticated() {}
bool OBSRemoteClient::QueryAuthRequired(bool&) { return false; }
bool OBSRemoteClient::QueryIsAuthenticated(bool&) { return false; }
