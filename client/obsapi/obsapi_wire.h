// The OBS Remote plug-in's protocol: requests named by "request-type" with a string
// "message-id", answers recognised by their keys (DispatchMessage), updates by "update-type".
#pragma once

#include "client/wire_protocol.h"

class ObsApiWire final : public WireProtocol {
public:
    const char* SubProtocol() const override { return "obsapi"; }
    uint16_t DefaultPort() const override { return 4444; }

    void Opened(OBSRemoteClient& client) override;
    void Received(OBSRemoteClient& client, json_t* message) override;

    void GetVersion(OBSRemoteClient& client) override;
    void GetVolumes(OBSRemoteClient& client) override;
    void SetVolume(OBSRemoteClient& client, const char* channel, float volume, bool final) override;
    void ToggleMicMute(OBSRemoteClient& client) override;
    void ToggleDesktopMute(OBSRemoteClient& client) override;
    void GetStreamingStatus(OBSRemoteClient& client) override;
    void StartStreaming(OBSRemoteClient& client) override;
    void StartPreview(OBSRemoteClient& client) override;
    void GetSceneList(OBSRemoteClient& client) override;
    void GetCurrentScene(OBSRemoteClient& client) override;
    void SetCurrentScene(OBSRemoteClient& client, const char* sceneName) override;
    void SetSourceOrder(OBSRemoteClient& client, const char* nameList) override;
    void SetSourceOrderNames(OBSRemoteClient& client, const std::vector<std::string>& names) override;
    void SetSourceRender(OBSRemoteClient& client, const char* sourceName, bool render) override;
    void Authenticate(OBSRemoteClient& client, const char* password) override;
};
