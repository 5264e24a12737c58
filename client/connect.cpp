// Connect and Disconnect, and the end of a session: the connection state machine.
//
// Each transition is claimed by one compare-and-swap, so when the peer closes while a script
// disconnects, only one of them moves the state. On the worker thread (an event handler the
// host runs at once) neither operation waits for the worker or touches its context: they
// leave word for the worker, which acts once the handler has returned.
#include "client/obs_remote_client.h"
#include "client/session.h"

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
        if (OnWorkerThread()) {
            // The session on this thread has ended; the worker begins the next one when the
            // handler returns. The word is left before the state shows Connecting, so that a
            // Disconnect from then on finds it.
            DisconnectOnWorker.store(false);
            Worker.StopRequested.store(false);
            RestartRequested.store(true);
            if (MoveState(Disconnected, Connecting)) {
                return;
            }
            RestartRequested.store(false);
            continue;
        }
        uint32_t expected = Disconnected;
        if (!State.compare_exchange_strong(expected, Connecting)) {
            continue;
        }
        // The last session's worker may still be returning after its "Disconnected"; it is
        // waited for, so that its events come before this session's.
        Worker.Stop();
        RaiseStateChanged(Connecting);
        if (State.load() != Connecting) {
            return; // a handler disconnected at once
        }
        if (Session.Context != nullptr) {
            DestroySessionContext(*this);
        }
        ResetStatus();
        ReadProtocolSetting();
        ChooseWire();
        Worker.Start(WorkerThreadMain, this, true);
        return;
    }
}

void OBSRemoteClient::Disconnect()
{
    for (;;) {
        uint32_t state = State.load();
        if (state == Disconnected) {
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
        // Ask first, then wake the worker out of its wait, so it sees the request at once.
        Worker.StopRequested.store(true);
        WakeSession(*this);
        Worker.Stop();
        ResetStatus();
        if (Session.Context != nullptr) {
            DestroySessionContext(*this);
        }
        SetState(Disconnected);
        return;
    }
}

// The one place where a session's end turns into the client's state. A session that could
// not start leaves the client Connecting (Disconnect recovers it). A Disconnect made on the
// host's thread finishes the change itself once the worker has ended; one made on this
// thread is finished here.
void OBSRemoteClient::SessionEnded(SessionEnd why)
{
    if (DisconnectOnWorker.exchange(false)) {
        ResetStatus();
        SetState(Disconnected);
        return;
    }
    if (why == SessionEnd::StartFailed) {
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
    if (Session.Context != nullptr) {
        DestroySessionContext(*this);
    }
    ResetStatus();
    return true;
}
