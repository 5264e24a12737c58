#include "client/connection_settings.h"

#include <cstdio>

namespace {

bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == ':' || c == '%';
}

// Names, IPv4 literals and IPv6 literals (bare, or in brackets as in a URL). Only the
// characters these can hold are taken, so a value never smuggles a line break, a blank or a
// path into the handshake's Host header.
bool ParseHost(const std::string& text, ConnectionSettings& settings, std::string& reason)
{
    std::string host = text;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        if (host.find(':') == std::string::npos) {
            reason = "is not an IPv6 address in brackets";
            return false;
        }
    }
    if (host.empty()) {
        reason = "is empty";
        return false;
    }
    if (host.size() > MaxHostLength) {
        reason = "is longer than " + std::to_string(MaxHostLength) + " characters";
        return false;
    }
    for (char c : host) {
        if (!IsHostCharacter(c)) {
            reason = "holds a character that no host name or address has";
            return false;
        }
    }
    settings.Host = host;
    return true;
}

// Decimal digits only: no sign, no blanks, no fraction. Leading zeros are harmless.
bool ParsePort(const std::string& text, ConnectionSettings& settings, std::string& reason)
{
    uint32_t value = 0;
    bool digits = !text.empty();
    for (char c : text) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > 65535) {
            break;
        }
    }
    if (!digits || value < 1 || value > 65535) {
        reason = "is not a number from 1 to 65535";
        return false;
    }
    settings.Port = static_cast<uint16_t>(value);
    return true;
}

bool EqualsIgnoringCase(const std::string& text, const char* word)
{
    size_t i = 0;
    for (; i < text.size() && word[i] != '\0'; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != word[i]) {
            return false;
        }
    }
    return i == text.size() && word[i] == '\0';
}

bool ParseFlag(const std::string& text, bool& value, std::string& reason)
{
    for (const char* yes : {"true", "1", "yes", "on"}) {
        if (EqualsIgnoringCase(text, yes)) {
            value = true;
            return true;
        }
    }
    for (const char* no : {"false", "0", "no", "off"}) {
        if (EqualsIgnoringCase(text, no)) {
            value = false;
            return true;
        }
    }
    reason = "is none of true, false, 1, 0, yes, no, on, off";
    return false;
}

bool ParseAutoReconnect(const std::string& text, ConnectionSettings& settings, std::string& reason)
{
    return ParseFlag(text, settings.AutoReconnect, reason);
}

bool ParseProtocol(const std::string& text, ConnectionSettings& settings, std::string& reason)
{
    if (EqualsIgnoringCase(text, "obsapi")) {
        settings.Protocol = WireKind::ObsApi;
        return true;
    }
    if (EqualsIgnoringCase(text, "obs-websocket")) {
        settings.Protocol = WireKind::ObsWebSocket;
        return true;
    }
    reason = "is neither obsapi nor obs-websocket";
    return false;
}

std::string FormatHost(const ConnectionSettings& settings) { return settings.Host; }
std::string FormatPort(const ConnectionSettings& settings) { return std::to_string(EffectivePort(settings)); }
std::string FormatProtocol(const ConnectionSettings& settings)
{
    return settings.Protocol == WireKind::ObsWebSocket ? "obs-websocket" : "obsapi";
}
std::string FormatAutoReconnect(const ConnectionSettings& settings) { return settings.AutoReconnect ? "true" : "false"; }

struct SettingRow {
    const char* Name;
    bool (*Parse)(const std::string& text, ConnectionSettings& settings, std::string& reason);
    std::string (*Format)(const ConnectionSettings& settings);
};

const SettingRow Rows[SettingKeyCount] = {
    {"Host", ParseHost, FormatHost},
    {"Port", ParsePort, FormatPort},
    {"AutoReconnect", ParseAutoReconnect, FormatAutoReconnect},
    {"Protocol", ParseProtocol, FormatProtocol},
};

const SettingRow& RowOf(SettingKey key) { return Rows[static_cast<size_t>(key)]; }

} // namespace

const char* SettingName(SettingKey key) { return RowOf(key).Name; }

bool ParseSetting(SettingKey key, const std::string& text, ConnectionSettings& settings, std::string& reason)
{
    ConnectionSettings parsed = settings;
    if (!RowOf(key).Parse(text, parsed, reason)) {
        return false;
    }
    settings = parsed;
    return true;
}

std::string FormatSetting(SettingKey key, const ConnectionSettings& settings) { return RowOf(key).Format(settings); }

std::string DescribeBadSetting(SettingKey key, const std::string& text, const std::string& reason)
{
    std::string quoted;
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return std::string("\"") + SettingName(key) + "\" setting \"" + quoted + "\" " + reason;
}

uint16_t EffectivePort(const ConnectionSettings& settings)
{
    if (settings.Port != 0) {
        return settings.Port;
    }
    return settings.Protocol == WireKind::ObsWebSocket ? 4455 : 4444;
}
