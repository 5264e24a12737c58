// The script type "obsremotescene": one scene of the client's model. The value's first word
// is the scene record's address and the second its serial; an object whose record a rebuild
// deleted answers false everywhere.
#pragma once

#include <cstdint>

#include "haven/ks_type_definition.h"

class OBSRemoteClient;

class OBSRemoteSceneType : public KSTypeDefinition {
public:
    explicit OBSRemoteSceneType(OBSRemoteClient* client);
    ~OBSRemoteSceneType() override;

    bool GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                   KSTypedValue& result) override;
    bool GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv) override;
    bool ToText(KSValue value, char* buffer, uint32_t size) override;

private:
    bool SetCurrentScene(const KSValue& value);

    OBSRemoteClient* Client;
};

extern KSTypeDefinition* pOBSRemoteSceneType;
