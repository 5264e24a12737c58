// A small extension module for the host stand-in's own tests: it keeps a setting, offers a
// top-level object of its own type, registers events and lets the tests make it raise
// events, print and ask the HTTP service from other threads.
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "haven/extension_interface.h"
#include "haven/ks_type_definition.h"
#include "haven/host_interface.h"

#ifndef FAKE_HVEDK_VERSION
#define FAKE_HVEDK_VERSION 53
#endif

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

HostInterface* Host = nullptr;
void* Self = nullptr; // the extension object: the client identity in service calls
KSTypeDefinition* StringType = nullptr;
EventId PingEvent = 0;
EventId TickEvent = 0;
EventId DoneEvent = 0;
ServiceConnection Http = 0;
std::mutex ThreadsMutex;
std::vector<std::thread> Threads;

const char* const ItemLabels[3] = {"item 1", "item 2", "item 3"};

int64_t NumberArg(int32_t argc, const char* const* argv) { return argc > 0 ? std::strtoll(argv[0], nullptr, 10) : 0; }

// Value 1 is the object itself; values 11 to 13 are its items.
class FakeType final : public KSTypeDefinition {
public:
    enum Member : uint32_t { Name, Missing, Item, Label };
    enum Method : uint32_t { Ping, Fail, Burst, Chatter, Announce };

    FakeType() : KSTypeDefinition("fakeobject")
    {
        const char* members[] = {"Name", "Missing", "Item", "Label"};
        for (uint32_t id = 0; id < 4; ++id)
            AddMember(id, members[id], nullptr);
        const char* methods[] = {"Ping", "Fail", "Burst", "Chatter", "Announce"};
        for (uint32_t id = 0; id < 5; ++id)
            AddMethod(id, methods[id], nullptr);
    }

    bool GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                   KSTypedValue& result) override
    {
        const bool isItem = value.UInt64 >= 11 && value.UInt64 <= 13;
        const int64_t index = NumberArg(argc, argv);
        if (member->ID == Item && !isItem && index >= 1 && index <= 3) {
            result.Type = this;
            result.Value.UInt64 = static_cast<uint64_t>(10 + index);
            return true;
        }
        if (member->ID != Name && !(member->ID == Label && isItem))
            return false;
        result.Type = StringType;
        result.Value.Pointer = const_cast<char*>(isItem ? ItemLabels[value.UInt64 - 11] : "Fake One");
        return true;
    }

    bool GetMethod(KSValue&, _KSTypeMember* method, int32_t argc, const char* const* argv) override
    {
        const int64_t count = NumberArg(argc, argv);
        switch (method->ID) {
        case Ping:
            Host->RaiseEvent(PingEvent, 0, argc, argc > 0 ? argv : nullptr, nullptr);
            return true;
        case Burst: {
            std::lock_guard<std::mutex> guard(ThreadsMutex);
            Threads.emplace_back([count] {
                for (int64_t i = 0; i < count; ++i) {
                    const std::string text = std::to_string(i);
                    const char* args[] = {text.c_str()};
                    Host->RaiseEvent(TickEvent, 0, 1, args, nullptr);
                }
                Host->RaiseEvent(DoneEvent, 0, 0, nullptr, nullptr);
            });
            return true;
        }
        case Chatter: {
            // One line ends in a line break and the other not: both must come out whole.
            const std::string padding(200, '.');
            auto chatter = [&](const char* format) {
                for (int64_t i = 0; i < count; ++i)
                    Host->ConsolePrintf(format, static_cast<long long>(i), padding.c_str());
            };
            std::thread first(chatter, "chatter A %lld %s end\n");
            std::thread second(chatter, "chatter B %lld %s end");
            first.join();
            second.join();
            return true;
        }
        case Announce: {
            if (argc < 1)
                return false;
            HttpUrlRequest request{argv[0], nullptr};
            // From a thread of the module's own, as the real announcement is made.
            std::thread([&request] { Host->ServiceRequest(Self, Http, HttpRequestUrl, &request); }).join();
            return true;
        }
        default: // Fail
            return false;
        }
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
        // Counts its loads in its settings, so tests see them saved and read back.
        SettingsSetId set = host->FindExtensionSettings("FakeModule");
        if (set == 0)
            set = host->CreateExtensionSettings("FakeModule");
        char loads[32] = {};
        host->GetSettingText(set, "Loads", loads, sizeof loads);
        host->SetSettingText(set, "Loads", std::to_string(std::atoll(loads) + 1).c_str());
        StringType = host->FindType("string", 0, 0);
        Http = host->ConnectService(this, "HTTP", [](void*, uint32_t, void*) {});
        TheType = new FakeType;
        host->RegisterType(TheType);
        host->AddTopLevelObject("Fake", FakeObject);
        PingEvent = host->RegisterEvent("Fake:Ping");
        TickEvent = host->RegisterEvent("Fake:Tick");
        DoneEvent = host->RegisterEvent("Fake:Done");
        host->RaiseEvent(host->RegisterEvent("Fake:Started"), 0, 0, nullptr, nullptr);
        return true;
    }

    void Shutdown() override
    {
        std::vector<std::thread> joining;
        {
            std::lock_guard<std::mutex> guard(ThreadsMutex);
            joining.swap(Threads);
        }
        for (std::thread& thread : joining)
            thread.join();
        Host->DisconnectService(this, Http);
        Host->RemoveTopLevelObject("Fake");
        Host->UnregisterType(TheType);
        delete TheType;
        TheType = nullptr;
    }

    bool ConfirmUnload() override { return true; }
};

} // namespace

FAKE_EXPORT const uint32_t HVEDK_Version = FAKE_HVEDK_VERSION;

FAKE_EXPORT HVEInterface* CreateHVEInterface(uint32_t version)
{
    // One object serves every load: the module may be loaded again after an unload.
    static FakeExtension extension;
    return version == FAKE_HVEDK_VERSION ? &extension : nullptr;
}
