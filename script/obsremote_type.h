// The script type "obsremote": the scripts' view of the one OBS Remote client. Members read
// the client's status and scene model; methods start the client's operations and requests.
// An obsremote object carries no state of its own: its first value word is 1, and 0 means
// no object.
#pragma once

#include <cstdint>

#include "client/connection_settings.h"
#include "haven/ks_type_definition.h"

class OBSRemoteClient;

class OBSRemoteType : public KSTypeDefinition {
public:
    explicit OBSRemoteType(OBSRemoteClient* client);
    ~OBSRemoteType() override;

    bool GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                   KSTypedValue& result) override;
    bool GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv) override;
    bool ToText(KSValue value, char* buffer, uint32_t size) override;

private:
    bool CurrentSceneMember(KSTypedValue& result);
    bool SceneMember(int32_t argc, const char* const* argv, KSTypedValue& result);
    bool SettingMember(SettingKey key, KSTypedValue& result);
    void SetSourceOrder(int32_t argc, const char* const* argv);

    OBSRemoteClient* Client;
};

extern KSTypeDefinition* pOBSRemoteType;
