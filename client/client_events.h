// The nineteen script events, in registration order. The index of an event in this list
// is its position in the host's registration; ClientEvents maps it to the id the host gave.
#pragma once

#include <cstdint>

enum class ClientEvent : uint32_t {
    StateChanged,
    Error,
    AuthAccepted,
    AuthFailed,
    VersionRsp,
    VolumesRsp,
    AuthRequiredRsp,
    StreamStatusRsp,
    SceneListRsp,
    CurrentSceneRsp,
    StreamStarting,
    StreamStopping,
    StreamStatus,
    SwitchScenes,
    ScenesChanged,
    SourceOrderChanged,
    RepopulateSources,
    SourceChanged,
    VolumeChanged,
};

constexpr uint32_t ClientEventCount = 19;
