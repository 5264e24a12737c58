// Routing of every parsed message from the plug-in: answers (a string "message-id") by
// their keys, updates by their "update-type".
#pragma once

#include <jansson.h>

#ifdef _WIN32
// <windows.h>, which libwebsockets and the lock wrappers bring in, makes DispatchMessage a
// macro for user32's function. Include it here first so that undoing the macro holds
// whichever header comes later.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef DispatchMessage
#endif

class OBSRemoteClient;

// The caller keeps ownership of message and releases it after the call.
void DispatchMessage(OBSRemoteClient& client, json_t* message);
