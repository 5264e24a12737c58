// Settings sets of the host. Extension settings live in memory and in one XML file per
// extension in the settings folder, written at every change and read back when an
// extension first asks for its set. Settings files (such as the stream-info file) are read
// from the root folder and live until closed. Safe from any thread.
//
// File format, for both kinds:
//   <Settings>
//     <Setting name="KestrelKey">the text</Setting>
//     <StreamUser>an element named after the key works too</StreamUser>
//   </Settings>
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "haven/host_interface.h"

namespace haven {

using SettingsMap = std::map<std::string, std::string>;

// Reads a settings file; none when it is missing, too large or not well-formed.
std::optional<SettingsMap> ReadSettingsXml(const std::filesystem::path& path);
bool WriteSettingsXml(const std::filesystem::path& path, const std::string& extension, const SettingsMap& values);

class SettingsStore {
public:
    // `report` prints one console line about a failure to save.
    SettingsStore(std::filesystem::path root, std::filesystem::path settingsFolder,
                  std::function<void(const std::string&)> report);

    SettingsSetId FindExtension(const char* name);
    SettingsSetId CreateExtension(const char* name);
    void GetText(SettingsSetId set, const char* key, char* buffer, uint32_t size) const;
    void SetText(SettingsSetId set, const char* key, const char* text);
    SettingsSetId OpenFile(const char* path);
    void Close(SettingsSetId set);

    std::optional<std::string> Text(SettingsSetId set, const std::string& key) const;
    size_t OpenFileCount() const;
    std::filesystem::path ExtensionFile(const std::string& name) const;

    // Extension names become file names, so only plain names are accepted.
    static bool IsPlainName(const char* name);

private:
    struct Set {
        std::string Extension; // empty for an opened file
        SettingsMap Values;
    };

    SettingsSetId AddLocked(Set set);

    static constexpr size_t MaxOpenFiles = 256;

    const std::filesystem::path Root;
    const std::filesystem::path Folder;
    const std::function<void(const std::string&)> Report;
    mutable std::mutex Mutex;
    std::map<SettingsSetId, Set> Sets;
    SettingsSetId NextId = 1;
};

} // namespace haven
