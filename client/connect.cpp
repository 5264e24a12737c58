// Connect and Disconnect: the host's side of the connection state machine.
#include "client/obs_remote_client.h"
#include "client/session.h"

namespace {

// Ends the worker: a session under way stops within one service interval, a wait for an
// automatic attempt at once. From the worker's own thread (an event handler) it only asks;
// the worker ends when the handler has returned.
void StopWorker(OBSRemoteClient& client)
{
    client.Worker.StopRequested.store(true);
    WakeSession(client);
    WakeAttemptWait(client.Reconnect);
    client.Worker.Stop();
}

} // namespace

void OBSRemoteClient::Connect()
{
    switch (State.load()) {
    case Disconnected:
        if (Worker.IsRunning.load()) {
            // A worker waiting for an automatic attempt gives way to the script's own
            // Connect; one that is only finishing its session is left to end.
            if (!IsReconnectPlanned() || IsWorkerThread(*this)) {
                return;
            }
            StopWorker(*this);
        }
        break;
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
    ConnectionSettings settings;
    if (!LoadConnectionSettings("Connect", settings)) {
        return;
    }
    Reconnect.Attempt.store(0);
    Reconnect.Backoff.Reset();
    SetState(Connecting);
    if (Session.Context != nullptr) {
        DestroySessionContext(*this);
    }
    ResetStatus();
    StartWorker(*this, settings);
}

void OBSRemoteClient::Disconnect()
{
    switch (State.load()) {
    case Disconnected:
        // Automatic reconnection may be waiting for its next attempt: that ends here, and
        // the state, already Disconnected, raises nothing.
        if (Worker.IsRunning.load()) {
            StopWorker(*this);
        }
        return;
    case Disconnecting:
        Print("HVEOBSRemote: Disconnect: Already trying to disconnect");
        return;
    default:
        break;
    }
    SetState(Disconnecting);
    StopWorker(*this);
    ResetStatus();
    if (Session.Context != nullptr) {
        DestroySessionContext(*this);
    }
    SetState(Disconnected);
}
