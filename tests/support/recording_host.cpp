#include "tests/support/recording_host.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

RecordingHost::RecordingHost() = default;

void RecordingHost::Record(const std::string& call)
{
    std::lock_guard<std::mutex> guard(Mutex);
    CallLog.push_back(call);
}

std::vector<std::string> RecordingHost::Calls() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return CallLog;
}

std::vector<std::string> RecordingHost::Lines() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return ConsoleLines;
}

std::vector<RecordedEvent> RecordingHost::Events() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return RaisedEvents;
}

std::vector<std::string> RecordingHost::EventNames() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> names;
    for (const RecordedEvent& e : RaisedEvents) {
        names.push_back(e.Name);
    }
    return names;
}

std::vector<RecordedServiceRequest> RecordingHost::Requests() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return ServiceRequests;
}

std::map<std::string, std::string> RecordingHost::WrittenSettings() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    return Written;
}

void RecordingHost::Clear()
{
    std::lock_guard<std::mutex> guard(Mutex);
    ConsoleLines.clear();
    RaisedEvents.clear();
    ServiceRequests.clear();
    CallLog.clear();
}

bool RecordingHost::WaitFor(const std::function<bool(const std::vector<RecordedEvent>&)>& pred,
                            std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(Mutex);
    return Changed.wait_for(lock, timeout, [&] { return pred(RaisedEvents); });
}

bool RecordingHost::WaitForEvent(const std::string& name, size_t count, std::chrono::milliseconds timeout) const
{
    return WaitFor(
        [&](const std::vector<RecordedEvent>& events) {
            size_t seen = 0;
            for (const RecordedEvent& e : events) {
                if (e.Name == name) {
                    ++seen;
                }
            }
            return seen >= count;
        },
        timeout);
}

size_t RecordingHost::CountEvents(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    size_t seen = 0;
    for (const RecordedEvent& e : RaisedEvents) {
        if (e.Name == name) {
            ++seen;
        }
    }
    return seen;
}

bool RecordingHost::AddCommand(const char* name, CommandHandler, bool option1, bool option2)
{
    Record(std::string("AddCommand ") + name + (option1 ? " yes" : " no") + (option2 ? " yes" : " no"));
    return true;
}

void RecordingHost::RemoveCommand(const char* name) { Record(std::string("RemoveCommand ") + name); }

bool RecordingHost::AddTopLevelObject(const char* name, TopLevelObjectFunction function)
{
    Record(std::string("AddTopLevelObject ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    TopLevelObjects[name] = function;
    return true;
}

void RecordingHost::RemoveTopLevelObject(const char* name)
{
    Record(std::string("RemoveTopLevelObject ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    TopLevelObjects.erase(name);
}

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
    for (auto it = RegisteredTypes.begin(); it != RegisteredTypes.end(); ++it) {
        if (*it == type) {
            RegisteredTypes.erase(it);
            break;
        }
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
    event.Id = id;
    for (int32_t i = 0; i < argc; ++i) {
        event.Args.push_back(argv[i] != nullptr ? argv[i] : "<null>");
    }
    std::lock_guard<std::mutex> guard(Mutex);
    event.Name = (id >= 1 && id <= EventNamesById.size()) ? EventNamesById[id - 1] : "#" + std::to_string(id);
    RaisedEvents.push_back(event);
    Changed.notify_all();
}

void RecordingHost::ConsolePrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(&line[0], line.size() + 1, format, args);
    }
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

ServiceHandle RecordingHost::RegisterService(void*, const char* name, ServiceHandler handler)
{
    Record(std::string("RegisterService ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    OfferedServices[name] = handler;
    return NextHandle++;
}

void RecordingHost::ShutdownService(void*, ServiceHandle handle)
{
    Record("ShutdownService " + std::to_string(handle));
}

ServiceConnection RecordingHost::ConnectService(void*, const char* name, ServiceHandler handler)
{
    Record(std::string("ConnectService ") + name);
    std::lock_guard<std::mutex> guard(Mutex);
    ServiceHandlers[name] = handler;
    return NextHandle++;
}

void RecordingHost::ServiceRequest(void*, ServiceConnection connection, uint32_t request, void* record)
{
    RecordedServiceRequest entry;
    entry.Connection = connection;
    entry.Request = request;
    if (request == HttpRequestUrl && record != nullptr) {
        const HttpUrlRequest* http = static_cast<const HttpUrlRequest*>(record);
        entry.Url = http->Url != nullptr ? http->Url : "";
    } else if (request == SystemCrashReport && record != nullptr) {
        const CrashReport* crash = static_cast<const CrashReport*>(record);
        entry.Description = crash->Description != nullptr ? crash->Description : "";
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
    auto opened = OpenSets.find(set);
    if (opened == OpenSets.end()) {
        return;
    }
    auto value = opened->second.find(key);
    if (value == opened->second.end()) {
        return;
    }
    size_t n = value->second.size() < size - 1 ? value->second.size() : size - 1;
    std::memcpy(buffer, value->second.data(), n);
    buffer[n] = '\0';
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
    SettingsSetId id = NextOpenedSet++;
    OpenSets[id] = file->second;
    return id;
}

void RecordingHost::CloseSettings(SettingsSetId& set)
{
    std::lock_guard<std::mutex> guard(Mutex);
    CallLog.push_back("CloseSettings " + std::to_string(set));
    OpenSets.erase(set);
}
