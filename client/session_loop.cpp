// The worker's body: one session per script Connect and, with automatic reconnection on,
// another after every session that ends without being asked to, after a growing delay.
#include "client/obs_remote_client.h"
#include "client/session.h"

namespace {

bool StopAsked(const OBSRemoteClient& client) { return client.Worker.StopRequested.load(); }

// Whether to reconnect is the setting's word at the moment the session ends, so switching it
// on while connected keeps that connection too. A bad value counts as off here; the next
// Connect reports it.
bool ReconnectWanted(const OBSRemoteClient& client)
{
    const OBSRemoteClient::SettingsReading reading = client.ReadConnectionSettings();
    return reading.Problems[static_cast<size_t>(SettingKey::AutoReconnect)].empty() && reading.Values.AutoReconnect;
}

// Every automatic attempt reads the settings afresh, so a host, port or switch changed while
// the client waited applies to it; a bad value ends the reconnection with its line. The
// attempts are counted from the last session that reached Ready.
bool BeginAutomaticAttempt(OBSRemoteClient& client, bool firstSinceReady)
{
    ConnectionSettings settings;
    if (!client.LoadConnectionSettings("Connect", settings) || !settings.AutoReconnect) {
        return false;
    }
    if (StopAsked(client) || client.State.load() != Disconnected) {
        return false;
    }
    client.Session.Settings = settings;
    client.Reconnect.Attempt.store(firstSinceReady ? 1 : client.Reconnect.Attempt.load() + 1);
    if (client.Session.Context != nullptr) {
        DestroySessionContext(client);
    }
    client.ResetStatus();
    client.SetState(Connecting);
    return true;
}

} // namespace

void RunSessions(OBSRemoteClient& client)
{
    ReconnectState& reconnect = client.Reconnect;
    for (;;) {
        const SessionOutcome outcome = RunSession(client);
        if (outcome.ReachedReady) {
            reconnect.Backoff.Reset();
        }
        const bool again = !StopAsked(client) && ReconnectWanted(client);
        if (again) {
            if (client.Session.Context != nullptr) {
                DestroySessionContext(client);
            }
            // Decided before "Disconnected" goes out, so its handlers can see it coming.
            reconnect.DelayMs.store(reconnect.Backoff.NextDelayMs());
        }
        // A session that could not start stays Connecting unless it is tried again or
        // stopped; a Disconnect under way sets the state itself.
        const bool over = again || outcome.End != SessionEnd::NotStarted || StopAsked(client);
        if (over && client.State.load() != Disconnecting) {
            client.SetState(Disconnected);
        }
        if (!again) {
            break;
        }
        const bool waited =
            WaitForAttempt(reconnect, client.Worker.StopRequested, std::chrono::milliseconds(reconnect.DelayMs.load()));
        reconnect.DelayMs.store(-1);
        if (!waited || !BeginAutomaticAttempt(client, outcome.ReachedReady)) {
            break;
        }
    }
    reconnect.DelayMs.store(-1);
}
