// One wire protocol of the client: what each operation becomes on the wire, and what each
// message from the peer does to the client's record, the scene model and the script events.
//
// The state machine, the session, the model, the events and the script types are shared by
// every protocol. The client picks one protocol per Connect (OBSRemoteClient::Protocol) and
// routes every operation and every received message through it until the next Connect.
//
// Threads: the operations come from the host's thread (script methods) and from the worker
// (opening requests); Opened, Received, PeerClosing and Tick run on the worker only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <jansson.h>

#include "client/wire_kind.h"

class OBSRemoteClient;


class WireProtocol {
public:
    virtual ~WireProtocol() = default;

    // The WebSocket sub-protocol offered in the opening handshake, and the port used when no
    // other is set.
    virtual const char* SubProtocol() const = 0;
    virtual uint16_t DefaultPort() const = 0;

    // Worker: the WebSocket connection is established and the state is Connected. Whatever
    // the protocol keeps per connection starts afresh here.
    virtual void Opened(OBSRemoteClient& client) = 0;
    // Worker: one complete, parsed message from the peer. The caller keeps ownership.
    virtual void Received(OBSRemoteClient& client, json_t* message) = 0;
    // Worker: the peer closes the connection with this code and reason (not terminated).
    virtual void PeerClosing(OBSRemoteClient&, uint16_t /*code*/, const char* /*reason*/, size_t /*length*/) {}
    // Worker: about every 100 ms while the connection is open, for a protocol that wants it
    // (Ticks); the others leave the worker asleep between messages.
    virtual bool Ticks() const { return false; }
    virtual void Tick(OBSRemoteClient&) {}

    // The operations of the obsremote type. Each prints its own "Not connected" line.
    virtual void GetVersion(OBSRemoteClient& client) = 0;
    virtual void GetVolumes(OBSRemoteClient& client) = 0;
    virtual void SetVolume(OBSRemoteClient& client, const char* channel, float volume, bool final) = 0;
    virtual void ToggleMicMute(OBSRemoteClient& client) = 0;
    virtual void ToggleDesktopMute(OBSRemoteClient& client) = 0;
    virtual void GetStreamingStatus(OBSRemoteClient& client) = 0;
    virtual void StartStreaming(OBSRemoteClient& client) = 0;
    virtual void StartPreview(OBSRemoteClient& client) = 0;
    virtual void GetSceneList(OBSRemoteClient& client) = 0;
    virtual void GetCurrentScene(OBSRemoteClient& client) = 0;
    virtual void SetCurrentScene(OBSRemoteClient& client, const char* sceneName) = 0;
    // nameList: the source names, each in double quotes, joined by single commas.
    virtual void SetSourceOrder(OBSRemoteClient& client, const char* nameList) = 0;
    virtual void SetSourceOrderNames(OBSRemoteClient& client, const std::vector<std::string>& names) = 0;
    virtual void SetSourceRender(OBSRemoteClient& client, const char* sourceName, bool render) = 0;
    virtual void Authenticate(OBSRemoteClient& client, const char* password) = 0;
};
