// The WebSocket session that the worker thread runs for each Connect: it creates the
// library context, connects to the plug-in, writes the queued requests, hands every
// complete received message to DispatchMessage, and ends on close, error or stop.
#pragma once

#include <cstdint>

#include "support/portable_thread.h"

class OBSRemoteClient;
struct ConnectionSettings;

// The worker's routine. The thread object's parameter is the client.
uint32_t HVE_THREADCALL WorkerThreadMain(void* threadObject);

// Starts the worker for a session with these settings (host's thread, no worker running).
void StartWorker(OBSRemoteClient& client, const ConnectionSettings& settings);

// Whether the caller runs on the worker thread (an event handler raised by the session).
bool IsWorkerThread(const OBSRemoteClient& client);

enum class SessionEnd {
    NotStarted, // no context, or no connection could be started: nothing was destroyed
    Ended,      // the peer closed, the connection failed or a service call failed
    Stopped,    // a stop was asked for
};

struct SessionOutcome {
    SessionEnd End = SessionEnd::NotStarted;
    bool ReachedReady = false;
};

// One session to Session.Settings, on the worker thread. Leaves Session.Context in place
// only when the connection could not be started; the state is left to the caller.
SessionOutcome RunSession(OBSRemoteClient& client);

// The worker's body: runs sessions until one ends without automatic reconnection, a stop
// is asked for, or the settings of an automatic attempt are bad.
void RunSessions(OBSRemoteClient& client);

// Destroys the session's library context, if any, after making sure no request can wake it
// any more; requests still queued are dropped. Worker thread, or the host's thread while no
// worker runs.
void DestroySessionContext(OBSRemoteClient& client);

// Cuts short the worker's current wait in the library, from any thread.
void WakeSession(OBSRemoteClient& client);
