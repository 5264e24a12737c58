// The WebSocket session's part of the client record: the library context and connection,
// the queue of requests waiting for the worker to write them, and the receive buffer.
#pragma once

#include <atomic>
#include <deque>
#include <string>

#include "client/connection_settings.h"
#include "client/read_pacing.h"
#include "support/critical_section.h"

struct lws;
struct lws_context;

struct SessionState {
    lws_context* Context = nullptr;  // the running session's context (worker; host only while no worker runs)
    lws* Connection = nullptr;        // the session's client connection (worker)

    // Requests are taken an id and queued under SendLock, in the order issued; the worker
    // writes them on the connection's writeable event. WakeContext is the context that may be
    // woken (WakeSessionLocked) while the session runs; it is cleared, under SendLock, before
    // the context is destroyed.
    CCriticalSection SendLock;
    std::deque<std::string> SendQueue;
    lws_context* WakeContext = nullptr;
    // Reading paced during a flood; its pause is cut short with the same wakes.
    ReadPacing Pacing;

    // A message arriving in several deliveries is gathered here before it is parsed.
    std::string ReceiveBuffer;

    // What the current session was started with: written before the worker starts, then by
    // the worker itself for each automatic attempt or Connect from one of its handlers.
    ConnectionSettings Settings;
};
