// The client's state machine and its ties to the host: state names, SetState with its
// event, ResetStatus, and the helpers through which every part of the client raises events
// and prints lines.
#include "client/obs_remote_client.h"

OBSRemoteClient::OBSRemoteClient() { ResetStatus(); }

OBSRemoteClient::~OBSRemoteClient()
{
    Disconnect();
    Model.ClearScenes();
}

const char* StateName(uint32_t state)
{
    switch (state) {
    case Disconnected:
        return "Disconnected";
    case Connecting:
        return "Connecting";
    case Connected:
        return "Connected";
    case Ready:
        return "Ready";
    case Disconnecting:
        return "Disconnecting";
    default:
        return "Unknown";
    }
}

// The state is stored before its event goes out, so a handler that reads it sees the state
// it was told about.
void OBSRemoteClient::SetState(uint32_t state)
{
    if (State.exchange(state) != state) {
        RaiseStateChanged(state);
    }
}

bool OBSRemoteClient::MoveState(uint32_t from, uint32_t to)
{
    if (!State.compare_exchange_strong(from, to)) {
        return false;
    }
    RaiseStateChanged(to);
    return true;
}

void OBSRemoteClient::RaiseStateChanged(uint32_t state)
{
    const char* name = StateName(state);
    Raise(ClientEvent::StateChanged, 1, &name);
}

bool OBSRemoteClient::IsConnected() const
{
    uint32_t state = State.load();
    return state == Connected || state == Ready;
}

// Texts, the scene model, the session handles, the state and the message id counter
// outlive a reset: the next session relies on the kept authentication texts.
void OBSRemoteClient::ResetStatus()
{
    HaveAuthInfo.store(false);
    IsAuthenticated.store(true);
    HaveVersion.store(false);
    RemoteVersion.store(0.0);
    HaveVolumes.store(false);
    IsMicrophoneMuted.store(false);
    IsDesktopMuted.store(false);
    MicrophoneVolume.store(0.0);
    DesktopVolume.store(0.0);
    HaveStreamingStatus.store(false);
    IsStreaming.store(false);
    IsPreview.store(false);
    HaveStreamStats.store(false);
    BytesPerSecond.store(0);
    Strain.store(0.0);
    TotalStreamTime.store(0);
    NumTotalFrames.store(0);
    NumDroppedFrames.store(0);
    FPS.store(0);
}

void OBSRemoteClient::Raise(ClientEvent event, int32_t argc, const char* const* argv)
{
    HostInterface* host = Link.Host.load();
    if (host == nullptr) {
        return;
    }
    uint32_t id = Link.EventIds[static_cast<uint32_t>(event)].load();
    host->RaiseEvent(id, 0, argc, argc > 0 ? argv : nullptr, nullptr);
}

void OBSRemoteClient::Print(const char* line)
{
    HostInterface* host = Link.Host.load();
    if (host != nullptr) {
        host->ConsolePrintf("%s", line);
    }
}
