// A host that does nothing and records nothing, for fuzz targets and benchmarks where a
// recording host would only measure itself. It can answer a stream-info file, so that the
// announcement path runs too.
#pragma once

#include <cstdio>
#include <cstring>

#include "haven/host_interface.h"

class NullHost : public HostInterface {
public:
    // The settings OpenSettingsFile answers with; none when Key is null.
    const char* Key = nullptr;
    const char* User = nullptr;
    const char* Site = nullptr;

    bool AddCommand(const char*, CommandHandler, bool, bool) override { return true; }
    void RemoveCommand(const char*) override {}
    bool AddTopLevelObject(const char*, TopLevelObjectFunction) override { return true; }
    void RemoveTopLevelObject(const char*) override {}
    bool RegisterType(KSTypeDefinition*) override { return true; }
    void UnregisterType(KSTypeDefinition*) override {}
    KSTypeDefinition* FindType(const char*, int32_t, int32_t) override { return nullptr; }
    EventId RegisterEvent(const char*) override { return ++LastEvent; }
    void RaiseEvent(EventId, int32_t, int32_t argc, const char* const* argv, void*) override
    {
        // Touch every argument text, as a host copying them would.
        for (int32_t i = 0; i < argc; ++i) {
            Checksum += std::strlen(argv[i]);
        }
    }
    void ConsolePrintf(const char*, ...) override {}
    SettingsSetId FindExtensionSettings(const char*) override { return 0; }
    SettingsSetId CreateExtensionSettings(const char*) override { return 0; }
    ServiceHandle RegisterService(void*, const char*, ServiceHandler) override { return 0; }
    void ShutdownService(void*, ServiceHandle) override {}
    ServiceConnection ConnectService(void*, const char*, ServiceHandler) override { return 0; }
    void ServiceRequest(void*, ServiceConnection, uint32_t, void* record) override
    {
        const HttpUrlRequest* request = static_cast<const HttpUrlRequest*>(record);
        Checksum += std::strlen(request->Url);
    }
    void DisconnectService(void*, ServiceConnection) override {}
    void GetSettingText(SettingsSetId&, const char* key, char* buffer, uint32_t size) override
    {
        const char* value = std::strcmp(key, "KestrelKey") == 0   ? Key
                            : std::strcmp(key, "StreamUser") == 0 ? User
                            : std::strcmp(key, "StreamSite") == 0 ? Site
                                                                  : nullptr;
        std::snprintf(buffer, size, "%s", value != nullptr ? value : "");
    }
    void SetSettingText(SettingsSetId&, const char*, const char*) override {}
    SettingsSetId OpenSettingsFile(const char*) override { return Key != nullptr ? 1 : 0; }
    void CloseSettings(SettingsSetId&) override {}

    size_t Checksum = 0;

private:
    EventId LastEvent = 0;
};
