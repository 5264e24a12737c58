#include "tests/support/recording_host.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

void RecordingHost::Record(const std::string& call)
{
    std::lock_guard<std::mutex> guard(Mutex);
    CallLog.push_back(call);
}

void RecordingHost::Clear()
{
    std::lock_guard<std::mutex> guard(Mutex);
    ConsoleLines.clear();
    RaisedEvents.clear();
    ServiceRequests.clear();
    CallLog.clear();
}

size_t RecordingHost::CountLocked(const std::string& name) const
{
    return static_cast<size_t>(std::count_if(
        RaisedEvents.begin(), RaisedEvents.end(), [&](const RecordedEvent& e) { return e.Name == name; }));
}

bool RecordingHost::WaitForEvent(const std::string& name, size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(Mutex);
    return Changed.wait_for(lock, timeout, [&] { return CountLocked(name) >= count; });
}

size_t RecordingHost::CountEvents(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return CountLocked(name);
}

std::vector<std::string> RecordingHost::States() const
{
    std::vector<std::string> states;
    for (const RecordedEvent& e : Events()) {
        if (e.Name == "OBSRemote:StateChanged") {
            states.push_back(e.Args.at(0));
        }
    }
    return states;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                std::chrono::milliseconds poll)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(poll);
    }
    return condition();
}

bool RecordingHost::AddCommand(const char* name, CommandHandler, bool option1, bool option2)
{
    Record(std::string("AddCommand ") + name + (option1 ? " yes" : " no") + (option2 ? " yes" : " no"));
    return true;
}

void RecordingHost::RemoveCommand(const char* name) { Record(std::string("RemoveCommand ") + name); }

bool RecordingHost::AddTopLevelObject(const char* name, TopLevelObjectFunction)
{
    Record(std::string("AddTopLevelObject ") + name);
    return true;
}

void RecordingHost::RemoveTopLevelObject(const char* name) { Record(std::string("RemoveTopLevelObject ") + name); }

bool RecordingHost::RegisterType(KSTypeDefinition* type)
{
    Record("RegisterType");
    std::lock_guard<std::mutex> guard(Mutex);
    RegisteredTypes.push_back(type);
    return true;
}

void RecordingHost::UnregisterType(KSTypeDefinition* type)
{
    Record("UnregisterType");
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = std::find(RegisteredTypes.begin(), RegisteredTypes.end(), type);
    if (found != RegisteredTypes.end()) {
        RegisteredTypes.erase(found);
    }
}

KSTypeDefinition* RecordingHost::FindType(const char* name, int32_t, int32_t)
{
    Record(std::string("FindType ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    auto it = Types.find(name);
    return it == Types.end() ? nullptr : it->second;
}

EventId RecordingHost::RegisterEvent(const char* name)
{
    Record(std::string("RegisterEvent ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    EventNamesById.push_back(name);
    return static_cast<EventId>(EventNamesById.size());
}

void RecordingHost::RaiseEvent(EventId id, int32_t, int32_t argc, const char* const* argv, void*)
{
    RecordedEvent event;
    for (int32_t i = 0; i < argc; ++i) {
        event.Args.push_back(argv[i] != nullptr ? argv[i] : "<null>");
    }
    {
        std::lock_guard<std::mutex> guard(Mutex);
        event.Name = (id >= 1 && id <= EventNamesById.size()) ? EventNamesById[id - 1] : "#" + std::to_string(id);
        event.At = std::chrono::steady_clock::now();
        RaisedEvents.push_back(event);
        Changed.notify_all();
    }
    if (OnRaised) {
        OnRaised(event);
    }
}

void RecordingHost::ConsolePrintf(const char* format, ...)
{
    va_list args;
    va_list copy;
    va_start(args, format);
    va_copy(copy, args);
    std::string line(static_cast<size_t>(std::max(0, std::vsnprintf(nullptr, 0, format, copy))), '\0');
    va_end(copy);
    std::vsnprintf(line.data(), line.size() + 1, format, args);
    va_end(args);
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    std::lock_guard<std::mutex> guard(Mutex);
    ConsoleLines.push_back(line);
    Changed.notify_all();
}

SettingsSetId RecordingHost::FindExtensionSettings(const char* name)
{
    Record(std::string("FindExtensionSettings ") + name);
    return FindSettingsAnswer;
}

SettingsSetId RecordingHost::CreateExtensionSettings(const char* name)
{
    Record(std::string("CreateExtensionSettings ") + name);
    return CreateSettingsAnswer;
}

ServiceHandle RecordingHost::RegisterService(void*, const char* name, ServiceHandler)
{
    Record(std::string("RegisterService ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    return NextHandle++;
}

void RecordingHost::ShutdownService(void*, ServiceHandle handle) { Record("ShutdownService " + std::to_string(handle)); }

ServiceConnection RecordingHost::ConnectService(void*, const char* name, ServiceHandler)
{
    Record(std::string("ConnectService ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    return NextHandle++;
}

void RecordingHost::ServiceRequest(void*, ServiceConnection connection, uint32_t request, void* record)
{
    RecordedServiceRequest entry{connection, request, ""};
    if (request == HttpRequestUrl && record != nullptr) {
        const char* url = static_cast<const HttpUrlRequest*>(record)->Url;
        entry.Url = url != nullptr ? url : "";
    }
    std::lock_guard<std::mutex> guard(Mutex);
    ServiceRequests.push_back(entry);
    CallLog.push_back("ServiceRequest " + std::to_string(connection) + " " + std::to_string(request));
    Changed.notify_all();
}

void RecordingHost::DisconnectService(void*, ServiceConnection connection)
{
    Record("DisconnectService " + std::to_string(connection));
}

void RecordingHost::GetSettingText(SettingsSetId& set, const char* key, char* buffer, uint32_t size)
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    buffer[0] = '\0';
    std::lock_guard<std::mutex> guard(Mutex);
    const auto opened = OpenSets.find(set);
    // The extension's own set (any id below the opened files') reads what was written to it.
    const std::map<std::string, std::string>& values =
        opened != OpenSets.end() ? opened->second : Written;
    if ((opened == OpenSets.end() && (set == 0 || set >= 100)) || values.count(key) == 0) {
        return;
    }
    // Copied byte for byte, as a host keeping texts with a NUL inside would.
    const std::string& value = values.at(key);
    const size_t n = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
}

void RecordingHost::PutSetting(const std::string& key, const std::string& bytes)
{
    std::lock_guard<std::mutex> guard(Mutex);
    Written[key] = bytes;
}

void RecordingHost::SetSettingText(SettingsSetId& set, const char* key, const char* text)
{
    Record("SetSettingText " + std::to_string(set) + " " + key + " " + text);
    std::lock_guard<std::mutex> guard(Mutex);
    Written[key] = text;
}

SettingsSetId RecordingHost::OpenSettingsFile(const char* path)
{
    std::lock_guard<std::mutex> guard(Mutex);
    CallLog.push_back(std::string("OpenSettingsFile ") + path);
    auto file = SettingsFiles.find(path);
    if (file == SettingsFiles.end()) {
        return 0;
    }
    OpenSets[NextOpenedSet] = file->second;
    return NextOpenedSet++;
}

void RecordingHost::CloseSettings(SettingsSetId& set)
{
    std::lock_guard<std::mutex> guard(Mutex);
    CallLog.push_back("CloseSettings " + std::to_string(set));
    OpenSets.erase(set);
}
