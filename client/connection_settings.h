// Where the client connects, how, and whether it reconnects by itself: the keys "Host",
// "Port", "AutoReconnect" and "Protocol" of the extension's settings set. Every key is one row of one table
// (its name, how its text is read, how a value is written back), so a further key is one
// more row and one more field.
//
// Texts come from the host's settings, which users edit by hand, and from scripts: none
// is trusted. A text that is no valid value is reported with the key and the whole value
// and never used in part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "client/wire_kind.h"

struct ConnectionSettings {
    std::string Host = "localhost"; // a name, an IPv4 literal or an IPv6 literal (no brackets)
    uint16_t Port = 0; // 0: the protocol's own port (EffectivePort)
    bool AutoReconnect = false;
    WireKind Protocol = WireKind::ObsApi; // "obsapi" or "obs-websocket"
};

enum class SettingKey : uint32_t { Host, Port, AutoReconnect, Protocol, Count };
constexpr size_t SettingKeyCount = static_cast<size_t>(SettingKey::Count);

// The longest name DNS allows; every IPv6 literal fits too.
constexpr size_t MaxHostLength = 253;

// The port a session connects to: Port when one was given, else the protocol's own (4444
// for the OBS Remote plug-in, 4455 for obs-websocket).
uint16_t EffectivePort(const ConnectionSettings& settings);

// The key's name in the settings set: "Host", "Port", "AutoReconnect", "Protocol".
const char* SettingName(SettingKey key);

// Reads one key's text into `settings`. A text that is no valid value (an empty one among
// them) answers false with `reason`, the end of a sentence that begins with the quoted
// value ("is not a number from 1 to 65535"), and leaves `settings` as it was.
bool ParseSetting(SettingKey key, const std::string& text, ConnectionSettings& settings, std::string& reason);

// The value of `key` in `settings` as the text the settings set keeps.
std::string FormatSetting(SettingKey key, const ConnectionSettings& settings);

// The line part that reports a bad value: `"Port" setting "44 44" is not a number from 1 to
// 65535`. Control characters, quotes and backslashes of the value are escaped, so the line
// stays one line whatever the value holds.
std::string DescribeBadSetting(SettingKey key, const std::string& text, const std::string& reason);
