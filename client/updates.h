// Handlers of the updates the plug-in sends on its own, and their routing by "update-type"
// (ASCII case ignored). Updates that change sources act on the current scene as the client
// knows it at that moment. An update of an unknown type, or one without a name its handler
// needs, changes nothing and raises nothing.
#pragma once

#include <jansson.h>

class OBSRemoteClient;

// Picks the handler by "update-type"; ignores the update when no handler fits.
void RouteUpdate(OBSRemoteClient& client, json_t* message);

void OnStreamStarting(OBSRemoteClient& client, json_t* message);
void OnStreamStopping(OBSRemoteClient& client, json_t* message);
void OnStreamStatus(OBSRemoteClient& client, json_t* message);
void OnSwitchScenes(OBSRemoteClient& client, json_t* message);
void OnScenesChanged(OBSRemoteClient& client, json_t* message);
void OnSourceOrderChanged(OBSRemoteClient& client, json_t* message);
void OnRepopulateSources(OBSRemoteClient& client, json_t* message);
void OnSourceChanged(OBSRemoteClient& client, json_t* message);
void OnVolumeChanged(OBSRemoteClient& client, json_t* message);
