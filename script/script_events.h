// The nineteen "OBSRemote:" events: their names in registration order, and their
// registration with the host. The ids are kept in the client's host link, module-wide.
#pragma once

#include "client/client_events.h"

class HostInterface;
struct ClientHostLink;

// The registered name of an event ("OBSRemote:StateChanged", ...).
const char* ScriptEventName(ClientEvent event);

// Registers every event once, in order, and stores each id the host answers.
void RegisterScriptEvents(HostInterface* host, ClientHostLink& link);
