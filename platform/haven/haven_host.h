// The Haven host stand-in as a class: it loads one extension module by path, hands it this
// HostInterface, runs console lines against what the module registered, and shuts the
// module down and unloads it. Tests use it in-process; the havenhost program wraps it.
//
// The host's thread is the one that calls LoadModule, RunLine and Unload. RaiseEvent,
// ConsolePrintf, ServiceRequest and the settings operations may come from any thread.
#pragma once

#include <chrono>
#include <cstdarg>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/haven/console_output.h"
#include "platform/haven/event_registry.h"
#include "haven/extension_interface.h"
#include "platform/haven/module_library.h"
#include "platform/haven/script_registry.h"
#include "platform/haven/service_registry.h"
#include "platform/haven/settings_store.h"
#include "haven/host_interface.h"

namespace haven {

struct HostOptions {
    std::filesystem::path Root = ".";
    std::filesystem::path SettingsFolder; // empty: <Root>/Settings
    std::filesystem::path HttpLog;        // empty: HTTP requests are only shown
    std::chrono::milliseconds DefaultTimeout{5000};
    std::chrono::milliseconds PulseInterval{100};
    bool EchoToStdout = true;
};

struct LineResult {
    bool Ok = true;
    bool Quit = false;
    std::vector<std::string> Output; // every console line printed while the line ran
};

class ConsoleInterpreter;

class HavenHost final : public HostInterface {
public:
    explicit HavenHost(HostOptions options);
    ~HavenHost();
    HavenHost(const HavenHost&) = delete;
    HavenHost& operator=(const HavenHost&) = delete;

    // Loads the module, checks its HVEDK_Version, creates the extension object and
    // initialises it. On failure prints why, leaves nothing loaded and answers false.
    bool LoadModule(const std::string& path);
    // Shutdown, then unload; anything the module left registered is dropped and reported.
    void Unload();
    bool IsLoaded() const { return Extension != nullptr; }

    LineResult RunLine(const std::string& line);

    // Takes the oldest pending event of this name (see EventRegistry::Take), delivering
    // pulses while it waits.
    bool WaitForEvent(const std::string& name, std::chrono::milliseconds timeout,
                      const std::vector<std::string>& args = {});
    // One pulse to every client of "Pulse"; answers how many handlers got it.
    size_t DeliverPulse();

    std::vector<std::string> ConsoleLines() const { return Console.Lines(); }
    std::vector<HostEvent> RaisedEvents() const { return Events.Raised(); }

    const HostOptions& Options() const { return Opts; }
    ConsoleOutput& Output() { return Console; }
    EventRegistry& EventTable() { return Events; }
    ServiceRegistry& Services() { return ServiceTable; }
    ScriptRegistry& Scripts() { return ScriptTable; }
    SettingsStore& Settings() { return SettingsTable; }
    // The identity the console uses as a service client.
    void* ConsoleClient() { return &ConsoleIdentity; }
    void Print(const std::string& line) { Console.Line(line); }

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

private:
    void HandleHostRequest(const std::string& service, uint32_t request, void* record);
    void AppendHttpLog(const std::string& url);

    HostOptions Opts;
    ConsoleOutput Console;
    EventRegistry Events;
    ServiceRegistry ServiceTable;
    ScriptRegistry ScriptTable;
    SettingsStore SettingsTable;
    std::vector<KSTypeDefinition*> BuiltinTypes;
    std::unique_ptr<ConsoleInterpreter> Interpreter;
    std::mutex HttpLogMutex;

    ModuleLibrary Library;
    std::string ModulePath;
    HVEInterface* Extension = nullptr;
    int ConsoleIdentity = 0;
};

} // namespace haven
