// Connect and Disconnect, and the end of a session: the connection state machine.
//
// Each transition is claimed by one compare-and-swap, so when the peer closes while a script
// disconnects, only one of them moves the state. On the worker thread (an event handler the
// host runs at once) neither operation waits for the worker or touches its context: they
// leave word for the worker, which acts once the handler has returned.
#include "client/obs_remote_client.h"
#include "client/session.h"

namespace {

// Ends the worker from the host's thread: a session under way stops within one service
// interval, a wait for an automatic attempt at once.
void StopWorker(OBSRemoteClient& client)
{
    client.Worker.StopRequested.store(true);
    WakeSession(client);
    WakeAttemptWait(client.Reconnect);
    client.Worker.Stop();
}

// A script's Connect starts a new series: attempt 0, the back-off from its first step.
void BeginScriptSession(OBSRemoteClient& client, const ConnectionSettings& settings)
{
    client.Session.Settings = settings;
    client.Reconnect.Attempt.store(0);
    client.Reconnect.Backoff.Reset();
    client.Reconnect.ReadyReached = false;
}

} // namespace

void OBSRemoteClient::Connect()
{
    for (;;) {
        switch (State.load()) {
        case Disconnected:
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
        // Bad settings are reported and start nothing: the state stays Disconnected.
        ConnectionSettings settings;
        if (!LoadConnectionSettings("Connect", settings)) {
            return;
        }
        if (OnWorkerThread()) {
            // The session on this thread has ended; the worker begins the next one when the
            // handler returns, instead of any automatic attempt. The word is left before the
            // state shows Connecting, so that a Disconnect from then on finds it.
            DisconnectOnWorker.store(false);
            Worker.StopRequested.store(false);
            RestartRequested.store(true);
            if (MoveState(Disconnected, Connecting)) {
                BeginScriptSession(*this, settings);
                return;
            }
            RestartRequested.store(false);
            continue;
        }
        uint32_t expected = Disconnected;
        if (!State.compare_exchange_strong(expected, Connecting)) {
            continue;
        }
        // The last session's worker may still be returning after its "Disconnected", or be
        // waiting for an automatic attempt, which gives way to this Connect; it is ended and
        // waited for, so that its events come before this session's.
        StopWorker(*this);
        RaiseStateChanged(Connecting);
        if (State.load() != Connecting) {
            return; // a handler disconnected at once
        }
        if (Session.Context != nullptr) {
            DestroySessionContext(*this);
        }
        ResetStatus();
        BeginScriptSession(*this, settings);
        StartWorker(*this, settings);
        return;
    }
}

void OBSRemoteClient::Disconnect()
{
    for (;;) {
        uint32_t state = State.load();
        if (state == Disconnected) {
            // Automatic reconnection may be waiting for its next attempt: that ends here, and
            // the state, already Disconnected, raises nothing.
            if (OnWorkerThread()) {
                Worker.StopRequested.store(true);
            } else if (Worker.IsRunning.load()) {
                StopWorker(*this);
            }
            return;
        }
        if (state == Disconnecting) {
            Print("HVEOBSRemote: Disconnect: Already trying to disconnect");
            return;
        }
        bool onWorker = OnWorkerThread();
        // On the worker thread the worker closes the connection, tears the session down and
        // raises "Disconnected" itself once the handler has returned (a new session asked
        // for in the same handler ends at once).
        if (onWorker) {
            DisconnectOnWorker.store(true);
        }
        if (!State.compare_exchange_strong(state, Disconnecting)) {
            if (onWorker) {
                DisconnectOnWorker.store(false);
            }
            continue;
        }
        if (onWorker) {
            Worker.StopRequested.store(true);
            RaiseStateChanged(Disconnecting);
            return;
        }
        RaiseStateChanged(Disconnecting);
        StopWorker(*this);
        ResetStatus();
        if (Session.Context != nullptr) {
            DestroySessionContext(*this);
        }
        SetState(Disconnected);
        return;
    }
}

// The one place where a session's end turns into the client's state. A session that could
// not start leaves the client Connecting (Disconnect recovers it) unless it is tried again.
// A Disconnect made on the host's thread finishes the change itself once the worker has
// ended; one made on this thread is finished here.
void OBSRemoteClient::SessionEnded(SessionEnd why)
{
    if (DisconnectOnWorker.exchange(false)) {
        ResetStatus();
        SetState(Disconnected);
        return;
    }
    const bool again = why != SessionEnd::Stopped && !Worker.StopRequested.load() && ReconnectWanted();
    if (again) {
        if (Session.Context != nullptr) {
            DestroySessionContext(*this);
        }
        // Decided before "Disconnected" goes out, so its handlers can see it coming.
        Reconnect.DelayMs.store(Reconnect.Backoff.NextDelayMs());
    } else if (why == SessionEnd::StartFailed) {
        return;
    }
    for (uint32_t from : {Connecting, Connected, Ready}) {
        if (MoveState(from, Disconnected)) {
            return;
        }
    }
}

bool OBSRemoteClient::TakeSessionRestart()
{
    if (!RestartRequested.exchange(false)) {
        return false;
    }
    Reconnect.DelayMs.store(-1);
    if (Session.Context != nullptr) {
        DestroySessionContext(*this);
    }
    ResetStatus();
    return true;
}

// Whether to reconnect is the setting's word at the moment the session ends, so switching it
// on while connected keeps that connection too. A bad value counts as off here; the next
// Connect reports it.
bool OBSRemoteClient::ReconnectWanted() const
{
    const SettingsReading reading = ReadConnectionSettings();
    return reading.Problems[static_cast<size_t>(SettingKey::AutoReconnect)].empty() && reading.Values.AutoReconnect;
}
