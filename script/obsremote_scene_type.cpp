#include "script/obsremote_scene_type.h"

#include <string>

#include "client/obs_remote_client.h"
#include "script/host_text.h"
#include "script/live_records.h"
#include "script/obsremote_source_type.h"
#include "script/script_arguments.h"
#include "script/script_results.h"

// The members and methods of obsremotescene in id order; each list is the only one, as for
// obsremote (obsremote_type.cpp).
#define HVE_SCENE_MEMBERS(MEMBER) \
    MEMBER(Name)                  \
    MEMBER(IsCurrentScene)        \
    MEMBER(Source)                \
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

namespace {

#define HVE_SCENE_NAME(name) #name,
const char* const MemberNames[] = {HVE_SCENE_MEMBERS(HVE_SCENE_NAME)};
const char* const MethodNames[] = {HVE_SCENE_METHODS(HVE_SCENE_NAME)};
#undef HVE_SCENE_NAME

} // namespace

OBSRemoteSceneType::OBSRemoteSceneType(OBSRemoteClient* client) : KSTypeDefinition("obsremotescene"), Client(client)
{
    for (uint32_t id = 0; id < SceneMemberCount; ++id) {
        AddMember(id, MemberNames[id], nullptr);
    }
    for (uint32_t id = 0; id < SceneMethodCount; ++id) {
        AddMethod(id, MethodNames[id], nullptr);
    }
}

OBSRemoteSceneType::~OBSRemoteSceneType() = default;

bool OBSRemoteSceneType::GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                                   KSTypedValue& result)
{
    if (value.IsNone() || member == nullptr || Client == nullptr || member->ID >= SceneMemberCount) {
        return false;
    }
    SceneModel& model = Client->Model;
    LiveScene live(model, value);
    SceneInfo* scene = live.Scene();
    if (scene == nullptr) {
        return false;
    }
    switch (static_cast<OBSRemoteSceneMember>(member->ID)) {
    case SceneMemberName:
        // The record may be deleted once the lock is released; the host gets a copy.
        return ResultString(result, HoldTextForHost(scene->Name));
    case SceneMemberIsCurrentScene:
        return ResultBool(result, model.IsCurrentScene(scene));
    case SceneMemberSource: {
        const char* selector = ArgumentText(argc, argv, 0);
        if (selector[0] == '\0') {
            return false;
        }
        CWinLock sources(&scene->SourcesLock);
        SourceInfo* source = nullptr;
        uint32_t position = 0;
        if (SelectorPosition(selector, position)) {
            source = SceneModel::SourceAt(scene, position);
        }
        if (source == nullptr) {
            source = SceneModel::FindSource(scene, selector, false);
        }
        if (source == nullptr) {
            return false;
        }
        result.Type = pOBSRemoteSourceType;
        result.Value = SourceValue(source);
        return true;
    }
    case SceneMemberNumSources:
        return ResultInt64(result, static_cast<int64_t>(SceneModel::SourceCount(scene)));
    }
    return false;
}

bool OBSRemoteSceneType::GetMethod(KSValue& value, _KSTypeMember* method, int32_t, const char* const*)
{
    if (value.IsNone() || method == nullptr || Client == nullptr || method->ID >= SceneMethodCount) {
        return false;
    }
    switch (static_cast<OBSRemoteSceneMethod>(method->ID)) {
    case SceneMethodSetCurrentScene:
        return SetCurrentScene(value);
    }
    return false;
}

// The model's current scene changes only when OBS reports the switch.
bool OBSRemoteSceneType::SetCurrentScene(const KSValue& value)
{
    std::string name;
    {
        LiveScene live(Client->Model, value);
        SceneInfo* scene = live.Scene();
        if (scene == nullptr || !Client->IsConnected()) {
            return false;
        }
        if (Client->Model.IsCurrentScene(scene)) {
            return true;
        }
        name = scene->Name;
    }
    // The request goes out without the model's locks held.
    Client->SetCurrentScene(name.c_str());
    return true;
}

bool OBSRemoteSceneType::ToText(KSValue value, char* buffer, uint32_t size)
{
    if (value.IsNone() || Client == nullptr) {
        return false;
    }
    LiveScene live(Client->Model, value);
    if (live.Scene() == nullptr) {
        return false;
    }
    return CopyTextToBuffer(live.Scene()->Name.c_str(), buffer, size);
}
