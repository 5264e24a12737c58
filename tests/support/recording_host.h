// A host double that records every call the extension makes, for unit tests that drive
// the client, the script types or the shell without the host stand-in. Safe from any
// thread: the worker thread raises events and prints through it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "haven/host_interface.h"

struct RecordedEvent {
    std::string Name; // the name registered for Id, or "#<id>" when unknown
    std::vector<std::string> Args;
    std::chrono::steady_clock::time_point At; // when it was raised
};

// Checks the condition every `poll` until it holds; false when it does not in time.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10),
                std::chrono::milliseconds poll = std::chrono::milliseconds(1));

struct RecordedServiceRequest {
    ServiceConnection Connection = 0;
    uint32_t Request = 0;
    std::string Url; // for HTTP request 1001
};

class RecordingHost : public HostInterface {
public:
    // Answers to give. FindExtensionSettings/CreateExtensionSettings answer these ids.
    SettingsSetId FindSettingsAnswer = 0;
    SettingsSetId CreateSettingsAnswer = 1;
    std::map<std::string, KSTypeDefinition*> Types; // what FindType answers
    // Settings files that OpenSettingsFile can open: path -> (key -> text).
    std::map<std::string, std::map<std::string, std::string>> SettingsFiles;
    // Runs for every raised event once it is recorded, on the raising thread and outside the
    // host's lock, as a script's handler that the host runs at once. Set before the client runs.
    std::function<void(const RecordedEvent&)> OnRaised;

    // What happened. Read through the accessors, which copy under the lock.
    std::vector<std::string> Calls() const { return Locked(CallLog); } // "Operation argument" per call
    std::vector<std::string> Lines() const { return Locked(ConsoleLines); } // without trailing line breaks
    std::vector<RecordedEvent> Events() const { return Locked(RaisedEvents); }
    std::vector<RecordedServiceRequest> Requests() const { return Locked(ServiceRequests); }
    std::map<std::string, std::string> WrittenSettings() const { return Locked(Written); } // key -> text
    // Puts any bytes (a NUL among them) into the extension's set, as another writer would.
    void PutSetting(const std::string& key, const std::string& bytes);
    void Clear();                                // forgets calls, lines, events and requests

    // Waits until an event of this name has been raised at least `count` times.
    bool WaitForEvent(const std::string& name, size_t count = 1,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    size_t CountEvents(const std::string& name) const;
    // The states the StateChanged events reported, in order.
    std::vector<std::string> States() const;

    // HostInterface
    bool AddCommand(const char* name, CommandHandler handler, bool option1, bool option2) override;
    void RemoveCommand(const char* name) override;
    bool AddTopLevelObject(const char* name, TopLevelObjectFunction function) override;
    void RemoveTopLevelObject(const char* name) override;
    bool RegisterType(KSTypeDefinition* type) override;
    void UnregisterType(KSTypeDefinition* type) override;
    KSTypeDefinition* FindType(const char* name, int32_t reserved1, int32_t reserved2) override;
    EventId RegisterEvent(const char* name) override;
    void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) override;
    void ConsolePrintf(const char* format, ...) override;
    SettingsSetId FindExtensionSettings(const char* name) override;
    SettingsSetId CreateExtensionSettings(const char* name) override;
    ServiceHandle RegisterService(void* client, const char* name, ServiceHandler handler) override;
    void ShutdownService(void* client, ServiceHandle handle) override;
    ServiceConnection ConnectService(void* client, const char* name, ServiceHandler handler) override;
    void ServiceRequest(void* client, ServiceConnection connection, uint32_t request, void* record) override;
    void DisconnectService(void* client, ServiceConnection connection) override;
    void GetSettingText(SettingsSetId& set, const char* key, char* buffer, uint32_t size) override;
    void SetSettingText(SettingsSetId& set, const char* key, const char* text) override;
    SettingsSetId OpenSettingsFile(const char* path) override;
    void CloseSettings(SettingsSetId& set) override;

    std::vector<KSTypeDefinition*> RegisteredTypes; // what the extension handed over

private:
    void Record(const std::string& call);
    size_t CountLocked(const std::string& name) const;
    template <class T> T Locked(const T& value) const
    {
        std::lock_guard<std::mutex> guard(Mutex);
        return value;
    }

    mutable std::mutex Mutex;
    mutable std::condition_variable Changed;
    std::vector<std::string> CallLog;
    std::vector<std::string> ConsoleLines;
    std::vector<RecordedEvent> RaisedEvents;
    std::vector<RecordedServiceRequest> ServiceRequests;
    std::map<std::string, std::string> Written;
    std::vector<std::string> EventNamesById; // index id-1
    uint32_t NextHandle = 1;
    uint32_t NextOpenedSet = 100;
    std::map<uint32_t, std::map<std::string, std::string>> OpenSets;
};
