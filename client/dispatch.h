// Routing of every parsed message from the plug-in: answers (a string "message-id") by
// their keys, updates by their "update-type".
#pragma once

#include <jansson.h>

class OBSRemoteClient;

// The caller keeps ownership of message and releases it after the call.
void DispatchMessage(OBSRemoteClient& client, json_t* message);
