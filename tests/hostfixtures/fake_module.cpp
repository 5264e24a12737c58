// A small extension module for the host stand-in's own tests: it registers what a real
// extension registers (settings, services, a command, a type, a top-level object, a
// service, events) and lets the tests make it raise events and print from other threads.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/haven/extension_interface.h"
#include "script/ks_type_definition.h"
#include "shell/host_interface.h"

#ifndef FAKE_HVEDK_VERSION
#define FAKE_HVEDK_VERSION 53
#endif

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

HostInterface* Host = nullptr;
void* Self = nullptr; // the extension object: the client identity in service calls
KSTypeDefinition* StringType = nullptr;
KSTypeDefinition* Int64Type = nullptr;
EventId PingEvent = 0;
EventId TickEvent = 0;
EventId DoneEvent = 0;
EventId StartedEvent = 0;
ServiceConnection Connections[5] = {};
ServiceHandle OfferedService = 0;
std::atomic<int64_t> Pulses{0};
std::atomic<int64_t> OtherNotifications{0};
std::atomic<int64_t> PingCount{0};
bool LeaveCommand = false;
std::mutex ThreadsMutex;
std::vector<std::thread> Threads;

const char* const ServiceNames[5] = {"Pulse", "Memory", "HTTP", "Triggers", "System"};
const char* const ItemLabels[3] = {"item 1", "item 2", "item 3"};

struct FooRequest {
    const char* Name;
    int32_t Age;
    float Height;
    bool Handled;
};

void CountNotification(void*, uint32_t message, void*)
{
    (message == 1 ? Pulses : OtherNotifications)++;
}

void NoteOther(void*, uint32_t, void*)
{
    OtherNotifications++;
}

void OfferedHandler(void*, uint32_t message, void* record)
{
    if (message == 1) {
        Host->ConsolePrintf("fake service: client added %X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(record)));
    } else if (message == 2) {
        Host->ConsolePrintf("fake service: client removed %X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(record)));
    } else if (message == 1001 && record != nullptr) {
        auto* foo = static_cast<FooRequest*>(record);
        Host->ConsolePrintf("fake service: Foo: %s. Age %d. Height: %fcm", foo->Name, foo->Age, static_cast<double>(foo->Height));
        foo->Handled = true;
    }
}

int32_t FakeCommand(int32_t argc, const char* const*)
{
    return argc;
}

int64_t NumberArg(int32_t argc, const char* const* argv, int32_t index)
{
    return argc > index ? std::strtoll(argv[index], nullptr, 10) : 0;
}

void StartThread(std::thread thread)
{
    std::lock_guard<std::mutex> guard(ThreadsMutex);
    Threads.push_back(std::move(thread));
}

void JoinThreads()
{
    std::vector<std::thread> joining;
    {
        std::lock_guard<std::mutex> guard(ThreadsMutex);
        joining.swap(Threads);
    }
    for (std::thread& thread : joining) {
        thread.join();
    }
}

// Value 1 is the object itself; values 11 to 13 are its items.
class FakeType final : public KSTypeDefinition {
public:
    enum Member : uint32_t { Name, Count, Missing, Item, Label, PulseCount, Notes, Pings };
    enum Method : uint32_t { Ping, Fail, Burst, Chatter, Announce, Crash, Leave, Sum };

    FakeType() : KSTypeDefinition("fakeobject")
    {
        const char* members[] = {"Name", "Count", "Missing", "Item", "Label", "Pulses", "Notes", "Pings"};
        for (uint32_t id = 0; id < 8; ++id) {
            AddMember(id, members[id], nullptr);
        }
        const char* methods[] = {"Ping", "Fail", "Burst", "Chatter", "Announce", "Crash", "Leave", "Sum"};
        for (uint32_t id = 0; id < 8; ++id) {
            AddMethod(id, methods[id], nullptr);
        }
    }

    bool GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                   KSTypedValue& result) override
    {
        const bool isItem = value.UInt64 >= 11 && value.UInt64 <= 13;
        switch (member->ID) {
        case Name:
            result.Type = StringType;
            result.Value.Pointer = const_cast<char*>("Fake One");
            return true;
        case Count:
            result.Type = Int64Type;
            result.Value.Int64 = 3;
            return true;
        case Item: {
            const int64_t index = NumberArg(argc, argv, 0);
            if (isItem || index < 1 || index > 3) {
                return false;
            }
            result.Type = this;
            result.Value.UInt64 = static_cast<uint64_t>(10 + index);
            return true;
        }
        case Label:
            if (!isItem) {
                return false;
            }
            result.Type = StringType;
            result.Value.Pointer = const_cast<char*>(ItemLabels[value.UInt64 - 11]);
            return true;
        case PulseCount:
            result.Type = Int64Type;
            result.Value.Int64 = Pulses.load();
            return true;
        case Notes:
            result.Type = Int64Type;
            result.Value.Int64 = OtherNotifications.load();
            return true;
        case Pings:
            result.Type = Int64Type;
            result.Value.Int64 = PingCount.load();
            return true;
        default:
            return false;
        }
    }

    bool GetMethod(KSValue&, _KSTypeMember* method, int32_t argc, const char* const* argv) override
    {
        switch (method->ID) {
        case Ping:
            ++PingCount;
            Host->RaiseEvent(PingEvent, 0, argc, argc > 0 ? argv : nullptr, nullptr);
            return true;
        case Burst: {
            const int64_t count = NumberArg(argc, argv, 0);
            StartThread(std::thread([count] {
                for (int64_t i = 0; i < count; ++i) {
                    const std::string text = std::to_string(i);
                    const char* args[] = {text.c_str()};
                    Host->RaiseEvent(TickEvent, 0, 1, args, nullptr);
                }
                Host->RaiseEvent(DoneEvent, 0, 0, nullptr, nullptr);
            }));
            return true;
        }
        case Chatter: {
            const int64_t count = NumberArg(argc, argv, 0);
            const std::string padding(200, '.');
            std::thread first([&] {
                for (int64_t i = 0; i < count; ++i) {
                    Host->ConsolePrintf("chatter A %lld %s end\n", static_cast<long long>(i), padding.c_str());
                }
            });
            std::thread second([&] {
                for (int64_t i = 0; i < count; ++i) {
                    Host->ConsolePrintf("chatter B %lld %s end", static_cast<long long>(i), padding.c_str());
                }
            });
            first.join();
            second.join();
            return true;
        }
        case Announce: {
            if (argc < 1) {
                return false;
            }
            HttpUrlRequest request{argv[0], nullptr};
            // From a thread of the module's own, as the real announcement is made.
            std::thread worker([&request] { Host->ServiceRequest(Self, Connections[2], HttpRequestUrl, &request); });
            worker.join();
            return true;
        }
        case Crash: {
            CrashReport report{nullptr, "fake crash"};
            Host->ServiceRequest(Self, Connections[4], SystemCrashReport, &report);
            return true;
        }
        case Leave:
            LeaveCommand = true;
            return true;
        case Sum:
            return argc >= 2;
        default: // Fail
            return false;
        }
    }

    bool ToText(KSValue value, char* buffer, uint32_t size) override
    {
        const char* text = value.UInt64 >= 11 && value.UInt64 <= 13 ? ItemLabels[value.UInt64 - 11] : "FakeObject";
        if (size == 0) {
            return false;
        }
        std::snprintf(buffer, size, "%s", text);
        return true;
    }
};

FakeType* TheType = nullptr;

bool FakeObject(int32_t, const char* const*, KSTypedValue* result)
{
    result->Type = TheType;
    result->Value.UInt64 = 1;
    return true;
}

class FakeExtension final : public HVEInterface {
public:
    uint32_t GetInterfaceVersion() override { return FAKE_HVEDK_VERSION; }

    bool Initialize(HostInterface* host) override
    {
        Host = host;
        Self = this;
        SettingsSetId set = host->FindExtensionSettings("FakeModule");
        if (set == 0) {
            set = host->CreateExtensionSettings("FakeModule");
        }
        char loads[32] = {};
        host->GetSettingText(set, "Loads", loads, sizeof loads);
        host->SetSettingText(set, "Loads", std::to_string(std::atoll(loads) + 1).c_str());
        StringType = host->FindType("string", 0, 0);
        Int64Type = host->FindType("int64", 0, 0);
        for (int i = 0; i < 5; ++i) {
            Connections[i] = host->ConnectService(this, ServiceNames[i], i == 0 ? CountNotification : NoteOther);
        }
        host->AddCommand("fake", FakeCommand, true, false);
        TheType = new FakeType;
        host->RegisterType(TheType);
        host->AddTopLevelObject("Fake", FakeObject);
        OfferedService = host->RegisterService(this, "Fake Service", OfferedHandler);
        PingEvent = host->RegisterEvent("Fake:Ping");
        TickEvent = host->RegisterEvent("Fake:Tick");
        DoneEvent = host->RegisterEvent("Fake:Done");
        StartedEvent = host->RegisterEvent("Fake:Started");
        host->ConsolePrintf("fake module loaded\n");
        host->RaiseEvent(StartedEvent, 0, 0, nullptr, nullptr);
        return true;
    }

    void Shutdown() override
    {
        JoinThreads();
        for (ServiceConnection& connection : Connections) {
            Host->DisconnectService(this, connection);
            connection = 0;
        }
        Host->ShutdownService(this, OfferedService);
        Host->RemoveTopLevelObject("Fake");
        Host->UnregisterType(TheType);
        delete TheType;
        TheType = nullptr;
        if (!LeaveCommand) {
            Host->RemoveCommand("fake");
        }
    }

    bool ConfirmUnload() override { return true; }
};

FakeExtension* Extension = nullptr;

} // namespace

FAKE_EXPORT const uint32_t HVEDK_Version = FAKE_HVEDK_VERSION;

FAKE_EXPORT HVEInterface* CreateHVEInterface(uint32_t version)
{
    if (version != FAKE_HVEDK_VERSION) {
        return nullptr;
    }
    // A fresh object per load: the module may be loaded again after an unload.
    static FakeExtension extension;
    Extension = &extension;
    return Extension;
}
