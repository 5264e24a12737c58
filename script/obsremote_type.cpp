#include "script/obsremote_type.h"

#include <string>
#include <vector>

#include "client/obs_remote_client.h"
#include "script/host_text.h"
#include "script/live_records.h"
#include "script/obsremote_scene_type.h"
#include "script/script_arguments.h"
#include "script/script_results.h"

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
    MEMBER(NumScenes)                 \
    MEMBER(Host)                      \
    MEMBER(Port)                      \
    MEMBER(AutoReconnect)             \
    MEMBER(ReconnectAttempt)          \
    MEMBER(ReconnectDelay)            \
    MEMBER(Protocol)

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
    METHOD(Disconnect)                \
    METHOD(SetHost)                   \
    METHOD(SetPort)                   \
    METHOD(SetAutoReconnect)          \
    METHOD(SetProtocol)

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

namespace {

#define HVE_OBSREMOTE_NAME(name) #name,
const char* const MemberNames[] = {HVE_OBSREMOTE_MEMBERS(HVE_OBSREMOTE_NAME)};
const char* const MethodNames[] = {HVE_OBSREMOTE_METHODS(HVE_OBSREMOTE_NAME)};
#undef HVE_OBSREMOTE_NAME

// The setting methods take one text; the client checks it and prints what is wrong with it.
bool ChangeSetting(OBSRemoteClient& client, SettingKey key, const char* method, int32_t argc,
                   const char* const* argv)
{
    if (argc < 1) {
        return false;
    }
    client.ChangeConnectionSetting(method, key, ArgumentText(argc, argv, 0));
    return true;
}

} // namespace

OBSRemoteType::OBSRemoteType(OBSRemoteClient* client) : KSTypeDefinition("obsremote"), Client(client)
{
    for (uint32_t id = 0; id < OBSRemoteMemberCount; ++id) {
        AddMember(id, MemberNames[id], nullptr);
    }
    for (uint32_t id = 0; id < OBSRemoteMethodCount; ++id) {
        AddMethod(id, MethodNames[id], nullptr);
    }
}

OBSRemoteType::~OBSRemoteType() = default;

bool OBSRemoteType::GetMember(KSValue value, _KSTypeMember* member, int32_t argc, const char* const* argv,
                              KSTypedValue& result)
{
    if (value.IsNone() || member == nullptr || Client == nullptr) {
        return false;
    }
    if (member->ID >= OBSRemoteMemberCount) {
        return false;
    }
    OBSRemoteClient& client = *Client;
    switch (static_cast<OBSRemoteMember>(member->ID)) {
    case OBSRemoteMemberState:
        return ResultString(result, StateName(client.State.load()));
    case OBSRemoteMemberAuthRequired: {
        bool required = false;
        return client.QueryAuthRequired(required) && ResultBool(result, required);
    }
    case OBSRemoteMemberIsAuthenticated: {
        bool authenticated = false;
        return client.QueryIsAuthenticated(authenticated) && ResultBool(result, authenticated);
    }
    case OBSRemoteMemberRemoteVersion:
        return client.HaveVersion.load() && ResultFloat64(result, client.RemoteVersion.load());
    case OBSRemoteMemberIsMicrophoneMuted:
        return client.HaveVolumes.load() && ResultBool(result, client.IsMicrophoneMuted.load());
    case OBSRemoteMemberIsDesktopMuted:
        return client.HaveVolumes.load() && ResultBool(result, client.IsDesktopMuted.load());
    case OBSRemoteMemberDesktopVolume:
        return client.HaveVolumes.load() && ResultFloat64(result, client.DesktopVolume.load());
    case OBSRemoteMemberMicrophoneVolume:
        return client.HaveVolumes.load() && ResultFloat64(result, client.MicrophoneVolume.load());
    case OBSRemoteMemberIsStreaming:
        return client.HaveStreamingStatus.load() && ResultBool(result, client.IsStreaming.load());
    case OBSRemoteMemberIsPreview:
        return client.HaveStreamingStatus.load() && ResultBool(result, client.IsPreview.load());
    case OBSRemoteMemberBytesPerSecond:
        return client.HaveStreamStats.load() && ResultInt64(result, client.BytesPerSecond.load());
    case OBSRemoteMemberStrain:
        return client.HaveStreamStats.load() && ResultFloat64(result, client.Strain.load());
    case OBSRemoteMemberTotalStreamTime:
        return client.HaveStreamStats.load() && ResultInt64(result, client.TotalStreamTime.load());
    case OBSRemoteMemberNumTotalFrames:
        return client.HaveStreamStats.load() && ResultInt64(result, client.NumTotalFrames.load());
    case OBSRemoteMemberNumDroppedFrames:
        return client.HaveStreamStats.load() && ResultInt64(result, client.NumDroppedFrames.load());
    case OBSRemoteMemberFPS:
        return client.HaveStreamStats.load() && ResultInt64(result, client.FPS.load());
    case OBSRemoteMemberCurrentScene:
        return CurrentSceneMember(result);
    case OBSRemoteMemberCurrentSceneName:
        // The worker may replace the name at any time; the host gets a copy that outlives the call.
        return ResultString(result, HoldTextForHost(client.Model.CurrentSceneNameCopy()));
    case OBSRemoteMemberScene:
        return SceneMember(argc, argv, result);
    case OBSRemoteMemberNumScenes:
        return ResultInt64(result, static_cast<int64_t>(client.Model.SceneCount()));
    case OBSRemoteMemberHost:
        return SettingMember(SettingKey::Host, result);
    case OBSRemoteMemberPort:
        return SettingMember(SettingKey::Port, result);
    case OBSRemoteMemberAutoReconnect:
        return SettingMember(SettingKey::AutoReconnect, result);
    case OBSRemoteMemberProtocol:
        return SettingMember(SettingKey::Protocol, result);
    case OBSRemoteMemberReconnectAttempt:
        return ResultInt64(result, client.Reconnect.Attempt.load());
    case OBSRemoteMemberReconnectDelay: {
        const int64_t delay = client.Reconnect.DelayMs.load();
        return delay >= 0 && ResultInt64(result, delay);
    }
    }
    return false;
}

// The settings as the next Connect would read them; a key holding a bad value has none.
bool OBSRemoteType::SettingMember(SettingKey key, KSTypedValue& result)
{
    const OBSRemoteClient::SettingsReading reading = Client->ReadConnectionSettings();
    if (!reading.Problems[static_cast<size_t>(key)].empty()) {
        return false;
    }
    const ConnectionSettings& values = reading.Values;
    switch (key) {
    case SettingKey::Host:
        return ResultString(result, HoldTextForHost(values.Host));
    case SettingKey::Port:
        return ResultInt64(result, EffectivePort(values));
    case SettingKey::AutoReconnect:
        return ResultBool(result, values.AutoReconnect);
    case SettingKey::Protocol:
        return ResultString(result, HoldTextForHost(FormatSetting(key, values)));
    case SettingKey::Count:
        break;
    }
    return false;
}

// ScenesLock stays held from the look-up until the serial is read, so the scene handed out
// is one that was alive with that serial.
bool OBSRemoteType::CurrentSceneMember(KSTypedValue& result)
{
    SceneModel& model = Client->Model;
    CWinLock guard(&model.ScenesLock);
    SceneInfo* scene = model.CurrentScene();
    if (scene == nullptr) {
        return false;
    }
    result.Type = pOBSRemoteSceneType;
    result.Value = SceneValue(scene);
    return true;
}

bool OBSRemoteType::SceneMember(int32_t argc, const char* const* argv, KSTypedValue& result)
{
    const char* selector = ArgumentText(argc, argv, 0);
    if (selector[0] == '\0') {
        return false;
    }
    SceneModel& model = Client->Model;
    CWinLock guard(&model.ScenesLock);
    SceneInfo* scene = nullptr;
    uint32_t position = 0;
    if (SelectorPosition(selector, position)) {
        scene = model.SceneAt(position);
    }
    if (scene == nullptr) {
        scene = model.FindScene(selector, false);
    }
    if (scene == nullptr) {
        return false;
    }
    result.Type = pOBSRemoteSceneType;
    result.Value = SceneValue(scene);
    return true;
}

bool OBSRemoteType::GetMethod(KSValue& value, _KSTypeMember* method, int32_t argc, const char* const* argv)
{
    if (value.IsNone() || method == nullptr || Client == nullptr) {
        return false;
    }
    if (method->ID >= OBSRemoteMethodCount) {
        return false;
    }
    OBSRemoteClient& client = *Client;
    switch (static_cast<OBSRemoteMethod>(method->ID)) {
    case OBSRemoteMethodGetVersion:
        client.GetVersion();
        return true;
    case OBSRemoteMethodGetVolumes:
        client.GetVolumes();
        return true;
    case OBSRemoteMethodSetVolume:
        if (argc < 2) {
            return false;
        }
        client.SetVolume(ArgumentText(argc, argv, 0), NarrowToFloat(ReadRealArgument(ArgumentText(argc, argv, 1))),
                         ReadFlagArgument(ArgumentText(argc, argv, 2)));
        return true;
    case OBSRemoteMethodToggleMicMute:
        client.ToggleMicMute();
        return true;
    case OBSRemoteMethodToggleDesktopMute:
        client.ToggleDesktopMute();
        return true;
    case OBSRemoteMethodAuthenticate:
        if (argc < 1) {
            return false;
        }
        client.Authenticate(ArgumentText(argc, argv, 0));
        return true;
    case OBSRemoteMethodGetStreamingStatus:
        client.GetStreamingStatus();
        return true;
    case OBSRemoteMethodStartStreaming:
        client.StartStreaming();
        return true;
    case OBSRemoteMethodStartPreview:
        client.StartPreview();
        return true;
    case OBSRemoteMethodGetSceneList:
        client.GetSceneList();
        return true;
    case OBSRemoteMethodGetCurrentScene:
        client.GetCurrentScene();
        return true;
    case OBSRemoteMethodSetCurrentScene:
        if (argc < 1) {
            return false;
        }
        client.SetCurrentScene(ArgumentText(argc, argv, 0));
        return true;
    case OBSRemoteMethodSetSourceOrder:
        if (argc < 1) {
            return false;
        }
        SetSourceOrder(argc, argv);
        return true;
    case OBSRemoteMethodSetSourceRender:
        if (argc < 2) {
            return false;
        }
        client.SetSourceRender(ArgumentText(argc, argv, 0), ReadFlagArgument(ArgumentText(argc, argv, 1)));
        return true;
    case OBSRemoteMethodConnect:
        client.Connect();
        return true;
    case OBSRemoteMethodDisconnect:
        client.Disconnect();
        return true;
    case OBSRemoteMethodSetHost:
        return ChangeSetting(client, SettingKey::Host, "SetHost", argc, argv);
    case OBSRemoteMethodSetPort:
        return ChangeSetting(client, SettingKey::Port, "SetPort", argc, argv);
    case OBSRemoteMethodSetAutoReconnect:
        return ChangeSetting(client, SettingKey::AutoReconnect, "SetAutoReconnect", argc, argv);
    case OBSRemoteMethodSetProtocol:
        return ChangeSetting(client, SettingKey::Protocol, "SetProtocol", argc, argv);
    }
    return false;
}

// The names go to the client as a list; it quotes and escapes each one, so a quote or a
// backslash in a name cannot break the request.
void OBSRemoteType::SetSourceOrder(int32_t argc, const char* const* argv)
{
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(argc));
    for (int32_t i = 0; i < argc; ++i) {
        names.emplace_back(ArgumentText(argc, argv, i));
    }
    Client->SetSourceOrderNames(names);
}

bool OBSRemoteType::ToText(KSValue value, char* buffer, uint32_t size)
{
    if (value.IsNone()) {
        return false;
    }
    return CopyTextToBuffer("HVEOBSRemote", buffer, size);
}
