// The WebSocket session that the worker thread runs for each Connect: it creates the
// library context, connects to the plug-in, writes the queued requests, hands every
// complete received message to DispatchMessage, and ends on close, error or stop.
#pragma once

#include <cstdint>

#include "support/portable_thread.h"

class OBSRemoteClient;
struct ConnectionSettings;

// Why a session ended. SessionEnded is the one place that acts on it.
enum class SessionEnd {
    StartFailed,     // no context, or no TCP connection on any address: the state stays Connecting
    HandshakeFailed, // the pending connection ended before the plug-in answered its handshake
    HandshakeTimedOut,
    PeerClosed,      // the established connection was closed or lost
    ServiceFailed,   // the library's service call failed
    Stopped,         // Disconnect, or the worker's destruction
};

// The worker's routine. The thread object's parameter is the client. It runs one session,
// and another each time a handler on this thread asked for one (Connect after the session's
// "Disconnected") or automatic reconnection waited for its next attempt, before it returns.
uint32_t HVE_THREADCALL WorkerThreadMain(void* threadObject);

// Starts the worker for a session with these settings (host's thread, no worker running).
void StartWorker(OBSRemoteClient& client, const ConnectionSettings& settings);

// One session to Session.Settings, on the worker thread; it ends with the client's
// SessionEnded. Leaves Session.Context in place only when the connection could not be started.
void RunSession(OBSRemoteClient& client);

// The worker's body: sessions, and between them the wait for an automatic attempt.
void RunSessions(OBSRemoteClient& client);

// Destroys the session's library context, if any, after making sure no request can wake it
// any more; requests still queued are dropped. Worker thread, or the host's thread while no
// worker runs.
void DestroySessionContext(OBSRemoteClient& client);

// Cuts short the worker's current wait in the library or pause in reading, from any thread.
void WakeSession(OBSRemoteClient& client);
// The same, with the client's Session.SendLock already held.
void WakeSessionLocked(OBSRemoteClient& client);
