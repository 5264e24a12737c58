// The script type "obsremotesource": one source of a scene of the client's model. The
// value's first word is the source record's address and the second its serial; an object
// whose record a rebuild deleted answers false everywhere.
#pragma once

#include <cstdint>

#include "haven/ks_type_definition.h"

class OBSRemoteClient;

class OBSRemoteSourceType : public KSTypeDefinition {
public:
    explicit OBSRemoteSourceType(OBSRemoteClient* client);
    ~OBSRemoteSourceType() override;

    bool GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                   KSTypedValue& result) override;
    bool GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv) override;
    bool ToText(KSValue value, char* buffer, uint32_t size) override;

private:
    bool SetRender(const KSValue& value, int32_t argc, const char* const* argv);

    OBSRemoteClient* Client;
};

extern KSTypeDefinition* pOBSRemoteSourceType;
