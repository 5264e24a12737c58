#include "platform/haven/settings_store.h"

#include <cstring>
#include <pugixml.hpp>
#include <system_error>

#include "platform/haven/settings_path.h"

namespace haven {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t MaxSettingsFileBytes = 1024 * 1024;
constexpr size_t MaxExtensionNameLength = 64;

} // namespace

std::optional<SettingsMap> ReadSettingsXml(const fs::path& path)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > MaxSettingsFileBytes || error) {
        return std::nullopt;
    }
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        return std::nullopt;
    }
    const pugi::xml_node top = document.document_element();
    if (!top) {
        return std::nullopt;
    }
    SettingsMap values;
    for (const pugi::xml_node node : top.children()) {
        if (node.type() != pugi::node_element) {
            continue;
        }
        const pugi::xml_attribute named = node.attribute("name");
        const std::string key = std::strcmp(node.name(), "Setting") == 0 && named ? named.value() : node.name();
        if (!key.empty()) {
            values[key] = node.child_value();
        }
    }
    return values;
}

bool WriteSettingsXml(const fs::path& path, const std::string& extension, const SettingsMap& values)
{
    pugi::xml_document document;
    pugi::xml_node top = document.append_child("Settings");
    top.append_attribute("extension") = extension.c_str();
    for (const auto& [key, text] : values) {
        pugi::xml_node setting = top.append_child("Setting");
        setting.append_attribute("name") = key.c_str();
        setting.append_child(pugi::node_pcdata).set_value(text.c_str());
    }
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    // Written beside the file and renamed over it, so a crash never leaves half a file.
    const fs::path temporary = path.string() + ".new";
    if (!document.save_file(temporary.c_str())) {
        return false;
    }
    fs::rename(temporary, path, error);
    return !error;
}

SettingsStore::SettingsStore(fs::path root, fs::path settingsFolder, std::function<void(const std::string&)> report)
    : Root(std::move(root)), Folder(std::move(settingsFolder)), Report(std::move(report))
{
}

bool SettingsStore::IsPlainName(const char* name)
{
    if (name == nullptr || name[0] == '\0' || name[0] == '.' || name[0] == ' ') {
        return false;
    }
    const size_t length = std::strlen(name);
    if (length > MaxExtensionNameLength) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        const char c = name[i];
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                           c == '_' || c == '-' || c == '.';
        if (!plain) {
            return false;
        }
    }
    return true;
}

fs::path SettingsStore::ExtensionFile(const std::string& name) const
{
    return Folder / (name + ".xml");
}

SettingsSetId SettingsStore::AddLocked(Set set)
{
    const SettingsSetId id = NextId++;
    Sets.emplace(id, std::move(set));
    return id;
}

SettingsSetId SettingsStore::FindExtension(const char* name)
{
    if (!IsPlainName(name)) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    for (const auto& [id, set] : Sets) {
        if (set.Extension == name) {
            return id;
        }
    }
    std::optional<SettingsMap> saved = ReadSettingsXml(ExtensionFile(name));
    if (!saved) {
        return 0;
    }
    return AddLocked(Set{name, std::move(*saved)});
}

SettingsSetId SettingsStore::CreateExtension(const char* name)
{
    if (!IsPlainName(name)) {
        return 0;
    }
    const SettingsSetId existing = FindExtension(name);
    if (existing != 0) {
        return existing;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    if (!WriteSettingsXml(ExtensionFile(name), name, {})) {
        Report("settings: cannot write " + ExtensionFile(name).string());
        return 0;
    }
    return AddLocked(Set{name, {}});
}

void SettingsStore::GetText(SettingsSetId set, const char* key, char* buffer, uint32_t size) const
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    buffer[0] = '\0';
    if (key == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = Sets.find(set);
    if (found == Sets.end()) {
        return;
    }
    const auto value = found->second.Values.find(key);
    if (value == found->second.Values.end()) {
        return;
    }
    const size_t length = value->second.size() < size - 1 ? value->second.size() : size - 1;
    std::memcpy(buffer, value->second.data(), length);
    buffer[length] = '\0';
}

void SettingsStore::SetText(SettingsSetId set, const char* key, const char* text)
{
    if (key == nullptr || key[0] == '\0') {
        return;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = Sets.find(set);
    if (found == Sets.end()) {
        return;
    }
    found->second.Values[key] = text != nullptr ? text : "";
    if (!found->second.Extension.empty() &&
        !WriteSettingsXml(ExtensionFile(found->second.Extension), found->second.Extension, found->second.Values)) {
        Report("settings: cannot write " + ExtensionFile(found->second.Extension).string());
    }
}

SettingsSetId SettingsStore::OpenFile(const char* path)
{
    if (path == nullptr) {
        return 0;
    }
    const std::optional<fs::path> resolved = ResolveUnderRoot(Root, path);
    if (!resolved) {
        return 0;
    }
    std::optional<SettingsMap> values = ReadSettingsXml(*resolved);
    if (!values) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    size_t open = 0;
    for (const auto& entry : Sets) {
        open += entry.second.Extension.empty() ? 1 : 0;
    }
    // An extension that never closes its files must not grow the host without bound.
    if (open >= MaxOpenFiles) {
        Report("settings: too many open settings files; " + std::string(path) + " refused");
        return 0;
    }
    return AddLocked(Set{"", std::move(*values)});
}

void SettingsStore::Close(SettingsSetId set)
{
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = Sets.find(set);
    // Extension sets stay: they are the extension's for the whole run.
    if (found != Sets.end() && found->second.Extension.empty()) {
        Sets.erase(found);
    }
}

std::optional<std::string> SettingsStore::Text(SettingsSetId set, const std::string& key) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = Sets.find(set);
    if (found == Sets.end()) {
        return std::nullopt;
    }
    const auto value = found->second.Values.find(key);
    if (value == found->second.Values.end()) {
        return std::nullopt;
    }
    return value->second;
}

size_t SettingsStore::OpenFileCount() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    size_t open = 0;
    for (const auto& entry : Sets) {
        open += entry.second.Extension.empty() ? 1 : 0;
    }
    return open;
}

} // namespace haven
