// Which wire protocol a session speaks; the connection setting "Protocol" names it.
#pragma once

#include <cstdint>

enum class WireKind : uint32_t {
    ObsApi = 0,       // the OBS Remote plug-in (sub-protocol "obsapi", port 4444)
    ObsWebSocket = 1, // OBS Studio's obs-websocket 5 (sub-protocol "obswebsocket.json", port 4455)
};
constexpr uint32_t WireKindCount = 2;
