// The script type "obsremote": the scripts' view of the one OBS Remote client. Members read
// the client's status and scene model; methods start the client's operations and requests.
// An obsremote object carries no state of its own: its first value word is 1, and 0 means
// no object.
#pragma once

#include <cstdint>

#include "haven/ks_type_definition.h"

class OBSRemoteClient;

// The members and methods of obsremote in id order. Each list is the only one: the enum, the
// registered names and the id switches are made from it, and the switches name every entry
// (no default), so the compiler reports one that lacks its case.
#define HVE_OBSREMOTE_MEMBERS(MEMBER) \
    MEMBER(State)                     \
    MEMBER(AuthRequired)              \
    MEMBER(IsAuthenticated)           \
    MEMBER(RemoteVersion)             \
    MEMBER(IsMicrophoneMuted)         \
    MEMBER(IsDesktopMuted)            \
    MEMBER(DesktopVolume)             \
    MEMBER(MicrophoneVolume)          \
    MEMBER(IsStreaming)               \
    MEMBER(IsPreview)                 \
    MEMBER(BytesPerSecond)            \
    MEMBER(Strain)                    \
    MEMBER(TotalStreamTime)           \
    MEMBER(NumTotalFrames)            \
    MEMBER(NumDroppedFrames)          \
    MEMBER(FPS)                       \
    MEMBER(CurrentScene)              \
    MEMBER(CurrentSceneName)          \
    MEMBER(Scene)                     \
    MEMBER(NumScenes)

#define HVE_OBSREMOTE_METHODS(METHOD) \
    METHOD(GetVersion)                \
    METHOD(GetVolumes)                \
    METHOD(SetVolume)                 \
    METHOD(ToggleMicMute)             \
    METHOD(ToggleDesktopMute)         \
    METHOD(Authenticate)              \
    METHOD(GetStreamingStatus)        \
    METHOD(StartStreaming)            \
    METHOD(StartPreview)              \
    METHOD(GetSceneList)              \
    METHOD(GetCurrentScene)           \
    METHOD(SetCurrentScene)           \
    METHOD(SetSourceOrder)            \
    METHOD(SetSourceRender)           \
    METHOD(Connect)                   \
    METHOD(Disconnect)

enum OBSRemoteMember : uint32_t {
#define HVE_OBSREMOTE_MEMBER_ID(name) OBSRemoteMember##name,
    HVE_OBSREMOTE_MEMBERS(HVE_OBSREMOTE_MEMBER_ID)
#undef HVE_OBSREMOTE_MEMBER_ID
};

enum OBSRemoteMethod : uint32_t {
#define HVE_OBSREMOTE_METHOD_ID(name) OBSRemoteMethod##name,
    HVE_OBSREMOTE_METHODS(HVE_OBSREMOTE_METHOD_ID)
#undef HVE_OBSREMOTE_METHOD_ID
};

#define HVE_OBSREMOTE_ONE(name) +1
constexpr uint32_t OBSRemoteMemberCount = 0 HVE_OBSREMOTE_MEMBERS(HVE_OBSREMOTE_ONE);
constexpr uint32_t OBSRemoteMethodCount = 0 HVE_OBSREMOTE_METHODS(HVE_OBSREMOTE_ONE);
#undef HVE_OBSREMOTE_ONE

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
    void SetSourceOrder(int32_t argc, const char* const* argv);

    OBSRemoteClient* Client;
};

extern KSTypeDefinition* pOBSRemoteType;
