// Start-up and shut-down of the extension: the order of every registration with the host.
#include "shell/extension.h"

#include <new>

#include "script/script_events.h"
#include "script/script_registration.h"
#include "shell/crash_guard.h"
#include "shell/crash_report.h"
#include "shell/frame_element_factory.h"
#include "shell/module_objects.h"
#include "shell/module_state.h"
#include "shell/obsremote_command.h"
#include "shell/obsremote_service.h"
#include "shell/service_handlers.h"

namespace {

struct InitializeCall {
    HVEOBSRemote* Extension;
    HostInterface* Host;
};

// The set also keeps the client's connection settings, which it reads at every Connect.
void WriteSettings(HostInterface* host)
{
    SettingsSetId set = host->FindExtensionSettings(ExtensionName);
    if (set == 0) {
        set = host->CreateExtensionSettings(ExtensionName);
    }
    if (set == 0) {
        return;
    }
    host->SetSettingText(set, "Filename", g_Module.ModuleFileName);
    host->SetSettingText(set, "Path", g_Module.ModuleDirectory);
    host->SetSettingText(set, "Version", ExtensionVersion);
    g_Client.Link.Settings.store(set);
}

void ConnectServices(HostInterface* host, void* identity)
{
    g_Module.PulseConnection = host->ConnectService(identity, "Pulse", &PulseServiceHandler);
    g_Module.MemoryConnection = host->ConnectService(identity, "Memory", &MemoryServiceHandler);
    g_Module.HttpConnection = host->ConnectService(identity, "HTTP", &HttpServiceHandler);
    g_Module.TriggersConnection = host->ConnectService(identity, "Triggers", &TriggersServiceHandler);
    g_Module.SystemConnection = host->ConnectService(identity, "System", &SystemServiceHandler);
}

bool InitializeSteps(void* context)
{
    const InitializeCall& call = *static_cast<const InitializeCall*>(context);
    HostInterface* host = call.Host;
    void* identity = call.Extension;

    g_Module.Host = host;
    g_Module.Identity = identity;
    WriteSettings(host);
    LookUpBuiltinTypes(host);
    ConnectServices(host, identity);
    g_Client.Link.HttpConnection.store(g_Module.HttpConnection);
    host->AddCommand("OBSRemote", &OBSRemoteCommand, true, false);
    RegisterScriptTypes(host, &g_Client);
    host->AddTopLevelObject("OBSRemote", &OBSRemoteTopLevelObject);
    g_Module.ServiceHandle = host->RegisterService(identity, "OBSRemote Service", &OBSRemoteServiceHandler);
    g_Client.Link.Host.store(host);
    g_Client.Link.Identity.store(identity);
    RegisterScriptEvents(host, g_Client.Link);
    if (const char* reason = g_FrameElementType.NotOfferedReason()) {
        host->ConsolePrintf("HVEOBSRemote: obsremoteframe: %s; the element type is not offered", reason);
    }
    host->ConsolePrintf("HVEOBSRemote version %s Loaded", ExtensionVersion);
    // Scripts learn the starting state this way, although the client's state has not changed.
    g_Client.RaiseStateChanged(Disconnected);
    return true;
}

void OnInitializeCrash(void* exceptionInformation)
{
    ReportCrash(exceptionInformation, "Crash in initialize routine");
}

void DisconnectIfConnected(HostInterface* host, void* identity, ServiceConnection connection)
{
    if (connection != 0) {
        host->DisconnectService(identity, connection);
    }
}

} // namespace

bool HVEOBSRemote::Initialize(HostInterface* host)
{
    InitializeCall call = {this, host};
    return RunUnderCrashGuard(&InitializeSteps, &call, &OnInitializeCrash);
}

void HVEOBSRemote::Shutdown()
{
    // Disconnecting waits for the worker thread, so nothing of it overlaps the withdrawals;
    // a worker waiting to reconnect while Disconnected is ended the same way, silently.
    if (g_Client.State.load() != Disconnected || g_Client.Worker.IsRunning.load()) {
        g_Client.Disconnect();
    }
    // A connection that ended by itself leaves Disconnected while its worker may still be
    // on its way out (raising its last event); wait for that thread as well.
    g_Client.Worker.Stop();
    HostInterface* host = g_Module.Host;
    if (host == nullptr) {
        return;
    }
    DisconnectIfConnected(host, this, g_Module.PulseConnection);
    DisconnectIfConnected(host, this, g_Module.MemoryConnection);
    DisconnectIfConnected(host, this, g_Module.HttpConnection);
    DisconnectIfConnected(host, this, g_Module.TriggersConnection);
    DisconnectIfConnected(host, this, g_Module.SystemConnection);
    host->ShutdownService(this, g_Module.ServiceHandle);
    host->RemoveTopLevelObject("OBSRemote");
    UnregisterScriptTypes(host);
    host->RemoveCommand("OBSRemote");
}

HVEOBSRemote* CreateExtensionObject()
{
    if (g_Module.ExtensionObject == nullptr) {
        g_Module.ExtensionObject = new (std::nothrow) HVEOBSRemote();
    }
    return g_Module.ExtensionObject;
}

void DestroyExtensionObject()
{
    delete g_Module.ExtensionObject;
    g_Module.ExtensionObject = nullptr;
}
