// The worker's body: one session per Connect and, with automatic reconnection on, another
// after every session that ended without being asked to, once its delay is over.
#include "client/obs_remote_client.h"
#include "client/session.h"

namespace {

// Every automatic attempt reads the settings afresh, so a host, port or switch changed while
// the client waited applies to it; a bad value ends the reconnection with its line. The
// attempts are counted from the last session that reached Ready. The state is claimed from
// Disconnected, so a script's Connect made meanwhile wins.
bool BeginAutomaticAttempt(OBSRemoteClient& client)
{
    ConnectionSettings settings;
    if (!client.LoadConnectionSettings("Connect", settings) || !settings.AutoReconnect ||
        client.Worker.StopRequested.load()) {
        return false;
    }
    ReconnectState& reconnect = client.Reconnect;
    client.Session.Settings = settings;
    reconnect.Attempt.store(reconnect.ReadyReached ? 1 : reconnect.Attempt.load() + 1);
    reconnect.ReadyReached = false;
    if (client.Session.Context != nullptr) {
        DestroySessionContext(client);
    }
    client.ResetStatus();
    return client.MoveState(Disconnected, Connecting);
}

} // namespace

void RunSessions(OBSRemoteClient& client)
{
    ReconnectState& reconnect = client.Reconnect;
    for (;;) {
        RunSession(client);
        if (client.TakeSessionRestart()) {
            continue;
        }
        if (!client.IsReconnectPlanned()) {
            break;
        }
        const bool waited =
            WaitForAttempt(reconnect, client.Worker.StopRequested, std::chrono::milliseconds(reconnect.DelayMs.load()));
        reconnect.DelayMs.store(-1);
        if (!waited || !BeginAutomaticAttempt(client)) {
            break;
        }
    }
    reconnect.DelayMs.store(-1);
}
