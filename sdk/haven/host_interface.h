// The Haven host's interface as the extension sees it. The host hands one HostInterface
// object to Initialize; its operations form four groups (general, service provider,
// service consumer, settings), laid out in one table in this fixed order. The order is
// part of the interface: never insert, remove or reorder an operation.
//
// Handles and ids are unsigned 32-bit; 0 means none. "client" is the identity of the
// caller (the extension object) in every service operation.
#pragma once

#include <cstdint>

class KSTypeDefinition;
struct KSTypedValue;

typedef uint32_t ServiceConnection;
typedef uint32_t ServiceHandle;
typedef uint32_t SettingsSetId;
typedef uint32_t EventId;

// Notifications and requests of a service reach its handlers as (client, message, record).
typedef void (*ServiceHandler)(void* client, uint32_t message, void* record);
// A command added with AddCommand: the script's arguments as texts; the answer is a status.
typedef int32_t (*CommandHandler)(int32_t argc, const char* const* argv);
// The function behind a top-level object: fills the result and answers true when it has one.
typedef bool (*TopLevelObjectFunction)(int32_t argc, const char* const* argv, KSTypedValue* result);

// Request ids of the host's own services.
enum HostServiceRequest : uint32_t {
    HttpRequestUrl = 1001,   // "HTTP": record HttpUrlRequest
    SystemCrashReport = 1002 // "System": record CrashReport
};

// Record of HTTP request 1001: the URL to fetch, and a second field that is always null.
struct HttpUrlRequest {
    const char* Url;
    void* Reserved;
};

// Record of System request 1002: the exception information and the description text.
struct CrashReport {
    void* ExceptionInformation;
    const char* Description;
};

class HostInterface {
public:
    // General group.
    virtual bool AddCommand(const char* name, CommandHandler handler, bool option1, bool option2) = 0;
    virtual void RemoveCommand(const char* name) = 0;
    virtual bool AddTopLevelObject(const char* name, TopLevelObjectFunction function) = 0;
    virtual void RemoveTopLevelObject(const char* name) = 0;
    virtual bool RegisterType(KSTypeDefinition* type) = 0;
    virtual void UnregisterType(KSTypeDefinition* type) = 0;
    virtual KSTypeDefinition* FindType(const char* name, int32_t reserved1, int32_t reserved2) = 0;
    virtual EventId RegisterEvent(const char* name) = 0;
    virtual void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) = 0;
    // One console line per call. Safe from any thread.
    virtual void ConsolePrintf(const char* format, ...) = 0;
    virtual SettingsSetId FindExtensionSettings(const char* name) = 0;
    virtual SettingsSetId CreateExtensionSettings(const char* name) = 0;

    // Service provider group.
    virtual ServiceHandle RegisterService(void* client, const char* name, ServiceHandler handler) = 0;
    virtual void ShutdownService(void* client, ServiceHandle handle) = 0;

    // Service consumer group.
    virtual ServiceConnection ConnectService(void* client, const char* name, ServiceHandler handler) = 0;
    virtual void ServiceRequest(void* client, ServiceConnection connection, uint32_t request, void* record) = 0;
    virtual void DisconnectService(void* client, ServiceConnection connection) = 0;

    // Settings group. A set id passes by reference. GetSettingText always terminates the
    // buffer and leaves it empty when the key is absent.
    virtual void GetSettingText(SettingsSetId& set, const char* key, char* buffer, uint32_t size) = 0;
    virtual void SetSettingText(SettingsSetId& set, const char* key, const char* text) = 0;
    virtual SettingsSetId OpenSettingsFile(const char* path) = 0;
    virtual void CloseSettings(SettingsSetId& set) = 0;

protected:
    HostInterface() = default;
    ~HostInterface() = default;
};
