// Connect and Disconnect: the host's side of the connection state machine.
#include "client/obs_remote_client.h"
#include "client/session.h"

void OBSRemoteClient::Connect()
{
    switch (State.load()) {
    case Disconnected:
        // The last session's worker may still be finishing after the connection was lost.
        if (Worker.IsRunning.load()) {
            return;
        }
        SetState(Connecting);
        if (Session.Context != nullptr) {
            DestroySessionContext(*this);
        }
        ResetStatus();
        ReadProtocolSetting();
        ChooseWire();
        Worker.Start(WorkerThreadMain, this, true);
        return;
    case Connecting:
        Print("HVEOBSRemote: Connect: Already trying to connect");
        return;
    case Disconnecting:
        Print("HVEOBSRemote: Connect: Currently disconnecting; please wait before reconnecting");
        return;
    default:
        Print("HVEOBSRemote: Connect: Already connected");
        return;
    }
}

void OBSRemoteClient::Disconnect()
{
    switch (State.load()) {
    case Disconnected:
        return;
    case Disconnecting:
        Print("HVEOBSRemote: Disconnect: Already trying to disconnect");
        return;
    default:
        break;
    }
    SetState(Disconnecting);
    // Ask first, then wake the worker out of its wait, so it sees the request at once.
    Worker.StopRequested.store(true);
    WakeSession(*this);
    Worker.Stop();
    ResetStatus();
    if (Session.Context != nullptr) {
        DestroySessionContext(*this);
    }
    SetState(Disconnected);
}
