// The script type "obsremotesource": one source of a scene of the client's model. The
// value's first word is the source record's address and the second its serial; an object
// whose record a rebuild deleted answers false everywhere.
#pragma once

#include <cstdint>

#include "haven/ks_type_definition.h"

class OBSRemoteClient;

// The members and methods of obsremotesource in id order; each list is the only one, as for
// obsremote (obsremote_type.h).
#define HVE_SOURCE_MEMBERS(MEMBER) \
    MEMBER(Name) \
    MEMBER(Render) \
    MEMBER(X) \
    MEMBER(Y) \
    MEMBER(Width) \
    MEMBER(Height)

#define HVE_SOURCE_METHODS(METHOD) \
    METHOD(SetRender)

enum OBSRemoteSourceMember : uint32_t {
#define HVE_SOURCE_MEMBER_ID(name) SourceMember##name,
    HVE_SOURCE_MEMBERS(HVE_SOURCE_MEMBER_ID)
#undef HVE_SOURCE_MEMBER_ID
};

enum OBSRemoteSourceMethod : uint32_t {
#define HVE_SOURCE_METHOD_ID(name) SourceMethod##name,
    HVE_SOURCE_METHODS(HVE_SOURCE_METHOD_ID)
#undef HVE_SOURCE_METHOD_ID
};

#define HVE_SOURCE_ONE(name) +1
constexpr uint32_t SourceMemberCount = 0 HVE_SOURCE_MEMBERS(HVE_SOURCE_ONE);
constexpr uint32_t SourceMethodCount = 0 HVE_SOURCE_METHODS(HVE_SOURCE_ONE);
#undef HVE_SOURCE_ONE

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
