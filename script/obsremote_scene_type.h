// The script type "obsremotescene": one scene of the client's model. The value's first word
// is the scene record's address and the second its serial; an object whose record a rebuild
// deleted answers false everywhere.
#pragma once

#include <cstdint>

#include "haven/ks_type_definition.h"

class OBSRemoteClient;

// The members and methods of obsremotescene in id order; each list is the only one, as for
// obsremote (obsremote_type.h).
#define HVE_SCENE_MEMBERS(MEMBER) \
    MEMBER(Name) \
    MEMBER(IsCurrentScene) \
    MEMBER(Source) \
    MEMBER(NumSources)

#define HVE_SCENE_METHODS(METHOD) \
    METHOD(SetCurrentScene)

enum OBSRemoteSceneMember : uint32_t {
#define HVE_SCENE_MEMBER_ID(name) SceneMember##name,
    HVE_SCENE_MEMBERS(HVE_SCENE_MEMBER_ID)
#undef HVE_SCENE_MEMBER_ID
};

enum OBSRemoteSceneMethod : uint32_t {
#define HVE_SCENE_METHOD_ID(name) SceneMethod##name,
    HVE_SCENE_METHODS(HVE_SCENE_METHOD_ID)
#undef HVE_SCENE_METHOD_ID
};

#define HVE_SCENE_ONE(name) +1
constexpr uint32_t SceneMemberCount = 0 HVE_SCENE_MEMBERS(HVE_SCENE_ONE);
constexpr uint32_t SceneMethodCount = 0 HVE_SCENE_METHODS(HVE_SCENE_ONE);
#undef HVE_SCENE_ONE

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
