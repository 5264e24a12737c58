#include "platform/haven/haven_host.h"

#include <cstdio>
#include <fstream>
#include <vector>

#include "platform/haven/builtin_types.h"
#include "platform/haven/console_command_table.h"
#include "platform/haven/console_interpreter.h"

namespace haven {

namespace {

std::filesystem::path AbsoluteOrSame(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute;
}

HostOptions Normalised(HostOptions options)
{
    options.Root = AbsoluteOrSame(options.Root);
    if (options.SettingsFolder.empty()) {
        options.SettingsFolder = options.Root / "Settings";
    }
    options.SettingsFolder = AbsoluteOrSame(options.SettingsFolder);
    if (options.PulseInterval.count() <= 0) {
        options.PulseInterval = std::chrono::milliseconds(100);
    }
    return options;
}

} // namespace

HavenHost::HavenHost(HostOptions options)
    : Opts(Normalised(std::move(options))),
      Console(Opts.EchoToStdout),
      Events([this](const HostEvent& event) { Console.Line(FormatEventLine(event)); }),
      ServiceTable([this](const std::string& service, uint32_t request, void* record) {
          HandleHostRequest(service, request, record);
      }),
      SettingsTable(Opts.Root, Opts.SettingsFolder, [this](const std::string& line) { Console.Line(line); })
{
    BuiltinTypes = CreateBuiltinTypes();
    ScriptTable.SetBuiltinTypes(BuiltinTypes);
    Interpreter = std::make_unique<ConsoleInterpreter>(*this);
    SetActiveConsole(&Console);
}

HavenHost::~HavenHost()
{
    Unload();
    Interpreter.reset();
    ClearActiveConsole(&Console);
    ScriptTable.SetBuiltinTypes({});
    DestroyBuiltinTypes(BuiltinTypes);
}

bool HavenHost::LoadModule(const std::string& path)
{
    if (Extension != nullptr) {
        Console.Line("error: a module is loaded already: " + ModulePath);
        return false;
    }
    std::string reason;
    if (!Library.Open(path, reason)) {
        Console.Line("error: cannot load module " + path + ": " + reason);
        return false;
    }
    const auto* version = static_cast<const uint32_t*>(Library.Symbol("HVEDK_Version"));
    if (version == nullptr) {
        Console.Line("error: " + path + " has no HVEDK_Version export");
        Library.Close();
        return false;
    }
    if (*version != HVEDKVersion) {
        Console.Line("error: " + path + " is built for HVEDK version " + std::to_string(*version) +
                     "; this host needs " + std::to_string(HVEDKVersion));
        Library.Close();
        return false;
    }
    const auto create = reinterpret_cast<CreateHVEInterfaceFunction>(Library.Symbol("CreateHVEInterface"));
    if (create == nullptr) {
        Console.Line("error: " + path + " has no CreateHVEInterface export");
        Library.Close();
        return false;
    }
    HVEInterface* extension = create(HVEDKVersion);
    if (extension == nullptr) {
        Console.Line("error: " + path + " did not create its extension object");
        Library.Close();
        return false;
    }
    ModulePath = path;
    if (!extension->Initialize(this)) {
        Console.Line("error: " + path + ": Initialize failed");
        for (const std::string& left : ScriptTable.DropAll()) {
            Console.Line("host: dropped " + left);
        }
        for (const std::string& left : ServiceTable.DropAllBut(ConsoleClient())) {
            Console.Line("host: dropped " + left);
        }
        Library.Close();
        return false;
    }
    Extension = extension;
    Console.Line("host: loaded " + path);
    return true;
}

void HavenHost::Unload()
{
    if (Extension == nullptr) {
        return;
    }
    // The console leaves the module's services while the module can still hear it.
    Interpreter->LeaveService();
    Extension->Shutdown();
    const bool mayUnload = Extension->ConfirmUnload();
    Extension = nullptr;
    // Nothing may call into the module's code once it is gone.
    for (const std::string& left : ScriptTable.DropAll()) {
        Console.Line("host: the module left " + left + " registered; dropped");
    }
    for (const std::string& left : ServiceTable.DropAllBut(ConsoleClient())) {
        Console.Line("host: the module left " + left + " open; dropped");
    }
    if (mayUnload) {
        Library.Close();
    } else {
        Console.Line("host: the module asked to stay loaded; it stays in memory");
    }
    Console.Line("host: unloaded " + ModulePath);
}

LineResult HavenHost::RunLine(const std::string& line)
{
    const size_t first = Console.Count();
    LineResult result;
    result.Ok = Interpreter->Run(line, result.Quit);
    if (result.Quit) {
        Unload();
    }
    result.Output = Console.LinesSince(first);
    return result;
}

bool HavenHost::WaitForEvent(const std::string& name, std::chrono::milliseconds timeout,
                             const std::vector<std::string>& args)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    return Events.Take(name, args, deadline, [this] { DeliverPulse(); }, Opts.PulseInterval).has_value();
}

size_t HavenHost::DeliverPulse()
{
    return ServiceTable.Notify("Pulse", ServicePulse);
}

bool HavenHost::AddCommand(const char* name, CommandHandler handler, bool option1, bool option2)
{
    return ScriptTable.AddCommand(name, handler, option1, option2);
}

void HavenHost::RemoveCommand(const char* name)
{
    ScriptTable.RemoveCommand(name);
}

bool HavenHost::AddTopLevelObject(const char* name, TopLevelObjectFunction function)
{
    return ScriptTable.AddTopLevelObject(name, function);
}

void HavenHost::RemoveTopLevelObject(const char* name)
{
    ScriptTable.RemoveTopLevelObject(name);
}

bool HavenHost::RegisterType(KSTypeDefinition* type)
{
    return ScriptTable.RegisterType(type);
}

void HavenHost::UnregisterType(KSTypeDefinition* type)
{
    ScriptTable.UnregisterType(type);
}

KSTypeDefinition* HavenHost::FindType(const char* name, int32_t, int32_t)
{
    return ScriptTable.FindType(name);
}

EventId HavenHost::RegisterEvent(const char* name)
{
    return Events.Register(name);
}

void HavenHost::RaiseEvent(EventId id, int32_t, int32_t argc, const char* const* argv, void*)
{
    if (!Events.Raise(id, argc, argv)) {
        Console.Line("host: RaiseEvent with unknown event id " + std::to_string(id) + " ignored");
    }
}

void HavenHost::ConsolePrintf(const char* format, ...)
{
    if (format == nullptr) {
        return;
    }
    char small[1024];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string line;
    if (length < 0) {
        line = "host: ConsolePrintf with a bad format ignored";
    } else if (static_cast<size_t>(length) < sizeof small) {
        line.assign(small, static_cast<size_t>(length));
    } else {
        std::vector<char> large(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        line.assign(large.data(), static_cast<size_t>(length));
    }
    va_end(again);
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    Console.Line(line);
}

SettingsSetId HavenHost::FindExtensionSettings(const char* name)
{
    return SettingsTable.FindExtension(name);
}

SettingsSetId HavenHost::CreateExtensionSettings(const char* name)
{
    return SettingsTable.CreateExtension(name);
}

ServiceHandle HavenHost::RegisterService(void* client, const char* name, ServiceHandler handler)
{
    return ServiceTable.Offer(client, name, handler);
}

void HavenHost::ShutdownService(void* client, ServiceHandle handle)
{
    ServiceTable.Withdraw(client, handle);
}

ServiceConnection HavenHost::ConnectService(void* client, const char* name, ServiceHandler handler)
{
    return ServiceTable.Connect(client, name, handler);
}

void HavenHost::ServiceRequest(void* client, ServiceConnection connection, uint32_t request, void* record)
{
    // An extension that crashes before it has connected to "System" reports over
    // connection 0; the report is the last word of a dying process, so it is shown anyway.
    if (connection == 0 && request == SystemCrashReport) {
        HandleHostRequest("System", request, record);
        return;
    }
    const RequestOutcome outcome = ServiceTable.Request(client, connection, request, record);
    if (outcome == RequestOutcome::NoSuchConnection) {
        Console.Line("host: ServiceRequest " + std::to_string(request) + " on unknown connection " +
                     std::to_string(connection) + " ignored");
    } else if (outcome == RequestOutcome::ServiceGone) {
        Console.Line("host: ServiceRequest " + std::to_string(request) + " on connection " +
                     std::to_string(connection) + " to a withdrawn service ignored");
    }
}

void HavenHost::DisconnectService(void* client, ServiceConnection connection)
{
    ServiceTable.Disconnect(client, connection);
}

void HavenHost::GetSettingText(SettingsSetId& set, const char* key, char* buffer, uint32_t size)
{
    SettingsTable.GetText(set, key, buffer, size);
}

void HavenHost::SetSettingText(SettingsSetId& set, const char* key, const char* text)
{
    SettingsTable.SetText(set, key, text);
}

SettingsSetId HavenHost::OpenSettingsFile(const char* path)
{
    return SettingsTable.OpenFile(path);
}

void HavenHost::CloseSettings(SettingsSetId& set)
{
    if (set != 0) {
        SettingsTable.Close(set);
        set = 0;
    }
}

void HavenHost::HandleHostRequest(const std::string& service, uint32_t request, void* record)
{
    if (service == "HTTP" && request == HttpRequestUrl) {
        const auto* url = static_cast<const HttpUrlRequest*>(record);
        if (url == nullptr || url->Url == nullptr) {
            Console.Line("http: request without a URL ignored");
            return;
        }
        Console.Line(std::string("http GET ") + url->Url);
        AppendHttpLog(url->Url);
        return;
    }
    if (service == "System" && request == SystemCrashReport) {
        const auto* report = static_cast<const CrashReport*>(record);
        const char* description = report != nullptr && report->Description != nullptr ? report->Description : "";
        Console.Line(std::string("system: crash report: ") + description);
        return;
    }
    Console.Line(service + ": request " + std::to_string(request) + " ignored");
}

void HavenHost::AppendHttpLog(const std::string& url)
{
    if (Opts.HttpLog.empty()) {
        return;
    }
    std::lock_guard<std::mutex> guard(HttpLogMutex);
    std::ofstream log(Opts.HttpLog, std::ios::app | std::ios::binary);
    // One request, one line: a line break inside the URL must not start a forged entry.
    for (const char c : url) {
        if (c == '\n') {
            log << "\\n";
        } else if (c == '\r') {
            log << "\\r";
        } else {
            log << c;
        }
    }
    log << '\n';
    log.flush();
    if (!log) {
        Console.Line("http: cannot append to " + Opts.HttpLog.string());
    }
}

} // namespace haven
