// The client's connection settings as they live in the host: read from the extension's
// settings set at every session start and by the script members, written by the script
// methods. Without a set, the client's own Endpoint stands in for it.
#include <cstring>

#include "client/obs_remote_client.h"

namespace {

// Longer than any valid value of any key, so a value the host had to cut is still seen as
// too long rather than read in part.
constexpr uint32_t SettingTextCapacity = 1024;
// Values longer than this are described by their length instead of shown.
constexpr size_t LongestShownValue = 512;

enum class SettingText { Absent, Present, TooLong, HoldsNul };

// The buffer starts zeroed: a host that copies a text with a NUL inside leaves bytes after
// the first terminator, which a plain text never does.
SettingText ReadSettingText(HostInterface& host, SettingsSetId set, const char* key, std::string& text)
{
    char buffer[SettingTextCapacity] = {};
    host.GetSettingText(set, key, buffer, sizeof(buffer));
    buffer[sizeof(buffer) - 1] = '\0';
    const size_t length = std::strlen(buffer);
    size_t end = sizeof(buffer) - 1;
    while (end > length && buffer[end - 1] == '\0') {
        --end;
    }
    text.assign(buffer, end);
    if (length == sizeof(buffer) - 1) {
        return SettingText::TooLong;
    }
    if (end > length) {
        return SettingText::HoldsNul;
    }
    return length == 0 ? SettingText::Absent : SettingText::Present;
}

std::string Describe(SettingKey key, const std::string& text, const std::string& reason)
{
    if (text.size() > LongestShownValue) {
        return std::string("\"") + SettingName(key) + "\" setting (a text of " + std::to_string(text.size()) +
               " characters) is longer than any valid value";
    }
    return DescribeBadSetting(key, text, reason);
}

} // namespace

OBSRemoteClient::SettingsReading OBSRemoteClient::ReadConnectionSettings() const
{
    SettingsReading reading;
    HostInterface* host = Host();
    SettingsSetId set = Link.Settings.load();
    if (host == nullptr || set == 0) {
        std::lock_guard<std::mutex> guard(EndpointLock);
        reading.Values = Endpoint;
        return reading;
    }
    for (size_t i = 0; i < SettingKeyCount; ++i) {
        const SettingKey key = static_cast<SettingKey>(i);
        std::string text;
        std::string reason;
        switch (ReadSettingText(*host, set, SettingName(key), text)) {
        case SettingText::Absent:
            continue;
        case SettingText::TooLong:
            reading.Problems[i] = std::string("\"") + SettingName(key) + "\" setting is longer than " +
                                  std::to_string(SettingTextCapacity - 2) + " characters";
            continue;
        case SettingText::HoldsNul:
            reading.Problems[i] = Describe(key, text, "holds a NUL character");
            continue;
        case SettingText::Present:
            if (!ParseSetting(key, text, reading.Values, reason)) {
                reading.Problems[i] = Describe(key, text, reason);
            }
            continue;
        }
    }
    return reading;
}

bool OBSRemoteClient::LoadConnectionSettings(const char* operation, ConnectionSettings& settings)
{
    const SettingsReading reading = ReadConnectionSettings();
    bool good = true;
    for (const std::string& problem : reading.Problems) {
        if (!problem.empty()) {
            Print(("HVEOBSRemote: " + std::string(operation) + ": " + problem).c_str());
            good = false;
        }
    }
    if (good) {
        settings = reading.Values;
    }
    return good;
}

void OBSRemoteClient::ChangeConnectionSetting(const char* operation, SettingKey key, const char* text)
{
    const std::string value = text != nullptr ? text : "";
    ConnectionSettings checked;
    std::string reason;
    if (!ParseSetting(key, value, checked, reason)) {
        Print(("HVEOBSRemote: " + std::string(operation) + ": " + Describe(key, value, reason)).c_str());
        return;
    }
    HostInterface* host = Host();
    SettingsSetId set = Link.Settings.load();
    if (host != nullptr && set != 0) {
        host->SetSettingText(set, SettingName(key), FormatSetting(key, checked).c_str());
        return;
    }
    std::lock_guard<std::mutex> guard(EndpointLock);
    ParseSetting(key, value, Endpoint, reason);
}
