// The nineteen script events, in registration order. The index of an event in this list
// is its position in the host's registration; ClientEvents maps it to the id the host gave.
// This list is the only one: the enum, the count and the registered names
// ("OBSRemote:" and the entry's name) are all made from it.
#pragma once

#include <cstdint>

#define HVE_CLIENT_EVENTS(EVENT) \
    EVENT(StateChanged)          \
    EVENT(Error)                 \
    EVENT(AuthAccepted)          \
    EVENT(AuthFailed)            \
    EVENT(VersionRsp)            \
    EVENT(VolumesRsp)            \
    EVENT(AuthRequiredRsp)       \
    EVENT(StreamStatusRsp)       \
    EVENT(SceneListRsp)          \
    EVENT(CurrentSceneRsp)       \
    EVENT(StreamStarting)        \
    EVENT(StreamStopping)        \
    EVENT(StreamStatus)          \
    EVENT(SwitchScenes)          \
    EVENT(ScenesChanged)         \
    EVENT(SourceOrderChanged)    \
    EVENT(RepopulateSources)     \
    EVENT(SourceChanged)         \
    EVENT(VolumeChanged)

enum class ClientEvent : uint32_t {
#define HVE_CLIENT_EVENT_ENUM(name) name,
    HVE_CLIENT_EVENTS(HVE_CLIENT_EVENT_ENUM)
#undef HVE_CLIENT_EVENT_ENUM
};

#define HVE_CLIENT_EVENT_ONE(name) +1
constexpr uint32_t ClientEventCount = 0 HVE_CLIENT_EVENTS(HVE_CLIENT_EVENT_ONE);
#undef HVE_CLIENT_EVENT_ONE
