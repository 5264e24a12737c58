// Handlers of the plug-in's answers to GetStreamingStatus, GetSceneList, GetCurrentScene,
// GetVersion and GetVolumes. DispatchMessage picks one of them by the answer's keys.
//
// Each brings the client's record or the scene model up to date and then raises its event.
// An answer that lacks a name it needs is dropped before anything changes.
#pragma once

#include <jansson.h>

class OBSRemoteClient;

void OnStreamingStatusResponse(OBSRemoteClient& client, json_t* message);
void OnSceneListResponse(OBSRemoteClient& client, json_t* message);
void OnCurrentSceneResponse(OBSRemoteClient& client, json_t* message);
void OnVersionResponse(OBSRemoteClient& client, json_t* message);
void OnVolumesResponse(OBSRemoteClient& client, json_t* message);
