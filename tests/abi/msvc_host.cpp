// A Haven host in miniature, compiled by clang for the MSVC C++ ABI the real host is built
// with: it loads the module by LoadLibrary and drives it through MSVC's vtable slots, with
// a HostInterface laid out the MSVC way. No C++ library code of its own is used here (its
// objects would be MSVC-mangled), only the C runtime and the system.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "haven/extension_interface.h"
#include "haven/ks_type_definition.h"
#include "tests/abi/msvc_host.h"

extern "C" void MsvcHostThrow();
extern "C" int MsvcHostThrowAndCatch();

namespace {

constexpr int MaxEvents = 32;
constexpr int MaxTypes = 3;
constexpr DWORD ReadyDeadlineMs = 20000;

bool Same(const char* a, const char* b) { return a != nullptr && b != nullptr && std::strcmp(a, b) == 0; }

void Copy(char* to, size_t size, const char* from)
{
    std::snprintf(to, size, "%s", from != nullptr ? from : "");
}

class MsvcHost final : public HostInterface {
public:
    MsvcHost(MsvcHostMode mode, bool quiet) : Mode(mode), Quiet(quiet), HostThread(GetCurrentThreadId())
    {
        InitializeCriticalSection(&Lock);
        Ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~MsvcHost()
    {
        CloseHandle(Ready);
        DeleteCriticalSection(&Lock);
    }

    bool AddCommand(const char*, CommandHandler, bool, bool) override { return true; }
    void RemoveCommand(const char*) override {}
    bool AddTopLevelObject(const char* name, TopLevelObjectFunction function) override
    {
        if (Same(name, "OBSRemote")) {
            TopLevel = function;
        }
        return true;
    }
    void RemoveTopLevelObject(const char* name) override
    {
        if (Same(name, "OBSRemote")) {
            TopLevel = nullptr;
        }
    }
    bool RegisterType(KSTypeDefinition* type) override
    {
        if (TypeCount < MaxTypes) {
            Types[TypeCount++] = type;
        }
        return true;
    }
    void UnregisterType(KSTypeDefinition*) override { ++TypesUnregistered; }
    KSTypeDefinition* FindType(const char*, int32_t, int32_t) override { return nullptr; }
    EventId RegisterEvent(const char* name) override
    {
        if (EventCount >= MaxEvents) {
            return 0;
        }
        Copy(EventNames[EventCount], sizeof EventNames[EventCount], name);
        return static_cast<EventId>(++EventCount);
    }
    void RaiseEvent(EventId id, int32_t, int32_t argc, const char* const* argv, void*) override
    {
        const char* name = id >= 1 && id <= static_cast<EventId>(EventCount) ? EventNames[id - 1] : "?";
        const char* first = argc > 0 && argv != nullptr ? argv[0] : "";
        EnterCriticalSection(&Lock);
        const bool worker = GetCurrentThreadId() != HostThread;
        WorkerEvents += worker ? 1 : 0;
        if (Same(name, "OBSRemote:StateChanged")) {
            Copy(LastState, sizeof LastState, first);
            if (Same(first, "Ready")) {
                SetEvent(Ready);
            }
        }
        LeaveCriticalSection(&Lock);
        Say("event %s(%s) on the %s thread\n", name, first, worker ? "worker" : "host");
    }
    void ConsolePrintf(const char* format, ...) override
    {
        char line[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        EnterCriticalSection(&Lock);
        ++Lines;
        FrameLine = FrameLine || std::strstr(line, "obsremoteframe") != nullptr;
        LeaveCriticalSection(&Lock);
        Say("console: %s\n", line);
        // The host's own code may raise and handle exceptions inside a call; the module's
        // start-up guard must leave those to it.
        if (GetCurrentThreadId() == HostThread) {
            OwnExceptionsHandled += MsvcHostThrowAndCatch();
        }
    }
    SettingsSetId FindExtensionSettings(const char*) override
    {
        if (Mode == MsvcHostMode::ThrowInInitialize) {
            MsvcHostThrow();
        }
        return 1;
    }
    SettingsSetId CreateExtensionSettings(const char*) override { return 1; }
    ServiceHandle RegisterService(void*, const char*, ServiceHandler) override { return 1; }
    void ShutdownService(void*, ServiceHandle) override {}
    ServiceConnection ConnectService(void*, const char*, ServiceHandler) override { return ++Connections; }
    void ServiceRequest(void*, ServiceConnection connection, uint32_t request, void* record) override
    {
        if (request != SystemCrashReport || record == nullptr) {
            return;
        }
        const CrashReport* report = static_cast<const CrashReport*>(record);
        const EXCEPTION_POINTERS* info = static_cast<const EXCEPTION_POINTERS*>(report->ExceptionInformation);
        std::printf("CRASH-REPORT connection=%u code=%08lX text=%s\n", connection,
                    info != nullptr && info->ExceptionRecord != nullptr ? info->ExceptionRecord->ExceptionCode : 0ul,
                    report->Description != nullptr ? report->Description : "-");
        std::fflush(stdout);
    }
    void DisconnectService(void*, ServiceConnection) override {}
    void GetSettingText(SettingsSetId&, const char*, char* buffer, uint32_t size) override
    {
        if (buffer != nullptr && size > 0) {
            buffer[0] = '\0';
        }
    }
    void SetSettingText(SettingsSetId&, const char*, const char*) override {}
    SettingsSetId OpenSettingsFile(const char*) override { return 0; }
    void CloseSettings(SettingsSetId&) override {}

    bool WaitUntilReady() { return WaitForSingleObject(Ready, ReadyDeadlineMs) == WAIT_OBJECT_0; }
    void State(char* to, size_t size)
    {
        EnterCriticalSection(&Lock);
        Copy(to, size, LastState);
        LeaveCriticalSection(&Lock);
    }
    int WorkerEventCount()
    {
        EnterCriticalSection(&Lock);
        int count = WorkerEvents;
        LeaveCriticalSection(&Lock);
        return count;
    }

    void Say(const char* format, ...)
    {
        if (Quiet) {
            return;
        }
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
        std::fflush(stdout);
    }

    MsvcHostMode Mode;
    bool Quiet;
    DWORD HostThread;
    CRITICAL_SECTION Lock;
    HANDLE Ready;
    TopLevelObjectFunction TopLevel = nullptr;
    KSTypeDefinition* Types[MaxTypes] = {};
    int TypeCount = 0;
    int TypesUnregistered = 0;
    char EventNames[MaxEvents][64] = {};
    int EventCount = 0;
    int WorkerEvents = 0;
    char LastState[32] = {};
    int Lines = 0;
    bool FrameLine = false;
    int OwnExceptionsHandled = 0;
    ServiceConnection Connections = 0;
};

int Fail(MsvcHost& host, const char* what)
{
    std::printf("FAILED: %s\n", what);
    std::fflush(stdout);
    (void)host;
    return 1;
}

#define HOST_CHECK(condition, what)                                                                                   \
    do {                                                                                                              \
        if (!(condition)) {                                                                                           \
            return Fail(host, what);                                                                                  \
        }                                                                                                             \
    } while (0)

// Reads the obsremote object's "State" member into `to`.
bool ReadState(KSTypeDefinition* type, const KSTypedValue& object, char* to, size_t size)
{
    KSTypedValue result;
    if (type->DispatchMember(object.Value, "State", 0, nullptr, result) != 1 || result.Value.Pointer == nullptr) {
        return false;
    }
    Copy(to, size, static_cast<const char*>(result.Value.Pointer));
    return true;
}

// The state is stored just after its event goes out, so a read right after "Ready" may
// still see the state before; it is read again until it shows, within the deadline.
bool StateBecomes(KSTypeDefinition* type, const KSTypedValue& object, const char* wanted)
{
    const DWORD start = GetTickCount();
    char state[32];
    while (GetTickCount() - start < ReadyDeadlineMs) {
        if (ReadState(type, object, state, sizeof state) && Same(state, wanted)) {
            return true;
        }
        Sleep(1);
    }
    return false;
}

// Script use of the running extension: the top-level object, a member read, a method call,
// and the worker thread's events on the way to Ready.
int UseExtension(MsvcHost& host)
{
    KSTypedValue object;
    HOST_CHECK(host.TopLevel(0, nullptr, &object) && object.Type == host.Types[0], "top-level object");
    KSTypeDefinition* type = host.Types[0];
    char state[32];
    HOST_CHECK(ReadState(type, object, state, sizeof state) && Same(state, "Disconnected"), "member State");
    HOST_CHECK(type->DispatchMethod(object.Value, "Connect", 0, nullptr) == 1, "method Connect");
    HOST_CHECK(host.WaitUntilReady(), "not Ready within the deadline");
    HOST_CHECK(host.WorkerEventCount() > 0, "no event from the worker thread");
    HOST_CHECK(StateBecomes(type, object, "Ready"), "member State after Ready");
    return 0;
}

int Drive(HMODULE module, MsvcHost& host)
{
    HOST_CHECK(GetModuleHandleA("libhvui.dll") == nullptr && GetModuleHandleA("HVUI.dll") == nullptr,
               "loading the module loaded a GUI library");
    const uint32_t* version = reinterpret_cast<const uint32_t*>(GetProcAddress(module, "HVEDK_Version"));
    HOST_CHECK(version != nullptr && *version == HVEDKVersion, "HVEDK_Version is not 53");
    auto create = reinterpret_cast<CreateHVEInterfaceFunction>(GetProcAddress(module, "CreateHVEInterface"));
    HOST_CHECK(create != nullptr, "no CreateHVEInterface");
    HVEInterface* extension = create(HVEDKVersion);
    HOST_CHECK(extension != nullptr && extension->GetInterfaceVersion() == HVEDKVersion, "CreateHVEInterface(53)");

    HOST_CHECK(extension->Initialize(&host), "Initialize answered false");
    HOST_CHECK(host.TypeCount == MaxTypes && host.TopLevel != nullptr, "types or top-level object not registered");
    HOST_CHECK(host.EventCount == 19, "not nineteen events");
    HOST_CHECK(host.FrameLine, "no console line about the missing element type");
    HOST_CHECK(host.OwnExceptionsHandled == host.Lines, "the start-up guard took an exception the host handled");

    // A failed use still ends with Shutdown, as a host would, so the module can unload.
    const int failed = UseExtension(host);
    extension->Shutdown();
    char state[32];
    host.State(state, sizeof state);
    HOST_CHECK(Same(state, "Disconnected"), "Shutdown did not disconnect");
    HOST_CHECK(host.TypesUnregistered == MaxTypes, "Shutdown left types registered");
    return failed;
}

} // namespace

extern "C" int MsvcHostRun(const char* modulePath, MsvcHostMode mode, int quiet)
{
    MsvcHost host(mode, quiet != 0);
    HMODULE module = LoadLibraryA(modulePath);
    if (module == nullptr) {
        std::printf("FAILED: LoadLibrary(%s): error %lu\n", modulePath, GetLastError());
        return 1;
    }
    int failed = Drive(module, host);
    if (!FreeLibrary(module)) {
        return Fail(host, "FreeLibrary");
    }
    // Stop waits for the worker thread, which drops its hold on the module as it ends.
    if (failed == 0 && GetModuleHandleA(modulePath) != nullptr) {
        return Fail(host, "the module stayed loaded after FreeLibrary");
    }
    host.Say(failed == 0 ? "the MSVC host drove the module\n" : "");
    return failed;
}
