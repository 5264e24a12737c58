// The three script types against a test-owned client and a recording host: members in each
// state, method arguments, the index-or-name look-ups, the requests the methods queue, and
// objects that outlive their model records.
#include <gtest/gtest.h>

#include <jansson.h>

#include <atomic>
#include <initializer_list>
#include <thread>
#include <string>
#include <vector>

#include "client/obs_remote_client.h"
#include "script/builtin_types.h"
#include "script/ks_type_definition.h"
#include "script/obsremote_scene_type.h"
#include "script/obsremote_source_type.h"
#include "script/obsremote_type.h"
#include "script/script_registration.h"
#include "support/portable_lock.h"
#include "tests/support/recording_host.h"

namespace {

const char* const BuiltinNames[] = {"string", "int",  "int64",  "uint",    "bool",     "float",  "float64",
                                    "time",   "byte", "intptr", "boolptr", "floatptr", "byteptr"};

const char* const OBSRemoteMembers[] = {
    "State",          "AuthRequired",   "IsAuthenticated", "RemoteVersion",    "IsMicrophoneMuted",
    "IsDesktopMuted", "DesktopVolume",  "MicrophoneVolume", "IsStreaming",     "IsPreview",
    "BytesPerSecond", "Strain",         "TotalStreamTime", "NumTotalFrames",   "NumDroppedFrames",
    "FPS",            "CurrentScene",   "CurrentSceneName", "Scene",           "NumScenes"};

const char* const OBSRemoteMethods[] = {
    "GetVersion",     "GetVolumes",      "SetVolume",        "ToggleMicMute",  "ToggleDesktopMute",
    "Authenticate",   "GetStreamingStatus", "StartStreaming", "StartPreview",  "GetSceneList",
    "GetCurrentScene", "SetCurrentScene", "SetSourceOrder",  "SetSourceRender", "Connect",
    "Disconnect"};

class ScriptTypesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (size_t i = 0; i < 13; ++i) {
            Builtins.push_back(new KSTypeDefinition(BuiltinNames[i]));
            host.Types[BuiltinNames[i]] = Builtins.back();
        }
        client.Link.Host.store(&host);
        LookUpBuiltinTypes(&host);
        RegisterScriptTypes(&host, &client);
        host.Clear();
    }

    void TearDown() override
    {
        client.State.store(Disconnected);
        UnregisterScriptTypes(&host);
        for (KSTypeDefinition* type : Builtins) {
            delete type;
        }
    }

    static KSValue Remote()
    {
        KSTypedValue result;
        EXPECT_TRUE(OBSRemoteTopLevelObject(0, nullptr, &result));
        return result.Value;
    }

    int32_t Get(KSTypeDefinition* type, KSValue value, const char* name, std::initializer_list<const char*> args,
                KSTypedValue& result)
    {
        std::vector<const char*> argv(args);
        return type->DispatchMember(value, name, static_cast<int32_t>(argv.size()), argv.data(), result);
    }
    int32_t Get(KSTypeDefinition* type, KSValue value, const char* name, KSTypedValue& result)
    {
        return Get(type, value, name, {}, result);
    }
    int32_t Call(KSTypeDefinition* type, KSValue value, const char* name, std::initializer_list<const char*> args = {})
    {
        std::vector<const char*> argv(args);
        return type->DispatchMethod(value, name, static_cast<int32_t>(argv.size()), argv.data());
    }

    std::string Text(KSTypeDefinition* type, KSValue value, const char* name)
    {
        KSTypedValue result;
        if (Get(type, value, name, result) != 1) {
            return "<none>";
        }
        EXPECT_EQ(result.Type, pStringType);
        return static_cast<const char*>(result.Value.Pointer);
    }

    KSValue Scene(std::initializer_list<const char*> args)
    {
        KSTypedValue result;
        if (Get(pOBSRemoteType, Remote(), "Scene", args, result) != 1) {
            return KSValue();
        }
        EXPECT_EQ(result.Type, pOBSRemoteSceneType);
        return result.Value;
    }
    KSValue Source(KSValue scene, std::initializer_list<const char*> args)
    {
        KSTypedValue result;
        if (Get(pOBSRemoteSceneType, scene, "Source", args, result) != 1) {
            return KSValue();
        }
        EXPECT_EQ(result.Type, pOBSRemoteSourceType);
        return result.Value;
    }
    std::string SceneName(KSValue scene) { return scene.IsNone() ? "<none>" : Text(pOBSRemoteSceneType, scene, "Name"); }
    std::string SourceName(KSValue source)
    {
        return source.IsNone() ? "<none>" : Text(pOBSRemoteSourceType, source, "Name");
    }

    SceneInfo* AddScene(const char* name, const char* sourcesJson = "[]")
    {
        SceneInfo* scene = client.Model.FindScene(name, true);
        json_t* sources = json_loads(sourcesJson, 0, nullptr);
        EXPECT_NE(sources, nullptr) << sourcesJson;
        SceneModel::PopulateSources(scene, sources);
        json_decref(sources);
        return scene;
    }
    // As a scene-list answer does: every scene not named again is deleted.
    void KeepOnlyScenes(std::initializer_list<const char*> names)
    {
        CSectionGuard guard(&client.Model.ScenesLock);
        client.Model.MarkScenesStale();
        for (const char* name : names) {
            client.Model.FindScene(name, false)->Stale = false;
        }
        client.Model.RemoveStaleScenes();
    }

    std::vector<std::string> Sent()
    {
        CSectionGuard guard(&client.Session.SendLock);
        return {client.Session.SendQueue.begin(), client.Session.SendQueue.end()};
    }
    void ClearSent()
    {
        CSectionGuard guard(&client.Session.SendLock);
        client.Session.SendQueue.clear();
    }
    // The one request sent since the last check, without its message id.
    std::string OnlyRequest()
    {
        std::vector<std::string> sent = Sent();
        ClearSent();
        if (sent.size() != 1) {
            return "<" + std::to_string(sent.size()) + " requests>";
        }
        return sent[0].substr(0, sent[0].find(",\"message-id\""));
    }

    RecordingHost host;
    OBSRemoteClient client;
    std::vector<KSTypeDefinition*> Builtins;
};

std::string Bool(const KSTypedValue& result) { return result.Value.Low32() != 0 ? "true" : "false"; }

} // namespace

TEST_F(ScriptTypesTest, BeforeAnyConnectionOnlyTheAlwaysValidMembersAnswer)
{
    EXPECT_EQ(Text(pOBSRemoteType, Remote(), "State"), "Disconnected");
    EXPECT_EQ(Text(pOBSRemoteType, Remote(), "CurrentSceneName"), "");
    KSTypedValue result;
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "NumScenes", result), 1);
    EXPECT_EQ(result.Type, pInt64Type);
    EXPECT_EQ(result.Value.Int64, 0);
    for (const char* name : {"AuthRequired", "IsAuthenticated", "RemoteVersion", "IsMicrophoneMuted", "IsDesktopMuted",
                             "DesktopVolume", "MicrophoneVolume", "IsStreaming", "IsPreview", "BytesPerSecond",
                             "Strain", "TotalStreamTime", "NumTotalFrames", "NumDroppedFrames", "FPS",
                             "CurrentScene"}) {
        EXPECT_EQ(Get(pOBSRemoteType, Remote(), name, result), 0) << name;
    }
    EXPECT_TRUE(Scene({"1"}).IsNone());
    char text[32];
    ASSERT_TRUE(pOBSRemoteType->ToText(Remote(), text, sizeof(text)));
    EXPECT_STREQ(text, "HVEOBSRemote");
    ASSERT_TRUE(pOBSRemoteType->ToText(Remote(), text, 4));
    EXPECT_STREQ(text, "HVE");
    EXPECT_TRUE(host.Lines().empty()) << "members print nothing";
}

TEST_F(ScriptTypesTest, StatusMembersAnswerOnceTheirValuesArrived)
{
    client.HaveVersion.store(true);
    client.RemoteVersion.store(1.2);
    client.HaveVolumes.store(true);
    client.IsMicrophoneMuted.store(true);
    client.MicrophoneVolume.store(0.25);
    client.DesktopVolume.store(0.75);
    client.HaveStreamingStatus.store(true);
    client.IsPreview.store(true);
    client.HaveStreamStats.store(true);
    client.BytesPerSecond.store(5000000000LL);
    client.Strain.store(0.5);
    client.TotalStreamTime.store(42);
    client.NumTotalFrames.store(1000);
    client.NumDroppedFrames.store(3);
    client.FPS.store(30);

    KSTypedValue result;
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "RemoteVersion", result), 1);
    EXPECT_EQ(result.Type, pFloat64Type);
    EXPECT_DOUBLE_EQ(result.Value.Float64, 1.2);
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "IsMicrophoneMuted", result), 1);
    EXPECT_EQ(result.Type, pBoolType);
    EXPECT_EQ(Bool(result), "true");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "IsDesktopMuted", result), 1);
    EXPECT_EQ(Bool(result), "false");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "MicrophoneVolume", result), 1);
    EXPECT_DOUBLE_EQ(result.Value.Float64, 0.25);
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "DesktopVolume", result), 1);
    EXPECT_DOUBLE_EQ(result.Value.Float64, 0.75);
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "IsStreaming", result), 1);
    EXPECT_EQ(Bool(result), "false");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "IsPreview", result), 1);
    EXPECT_EQ(Bool(result), "true");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "BytesPerSecond", result), 1);
    EXPECT_EQ(result.Type, pInt64Type);
    EXPECT_EQ(result.Value.Int64, 5000000000LL);
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "Strain", result), 1);
    EXPECT_DOUBLE_EQ(result.Value.Float64, 0.5);
    for (auto [name, expected] : std::vector<std::pair<const char*, int64_t>>{
             {"TotalStreamTime", 42}, {"NumTotalFrames", 1000}, {"NumDroppedFrames", 3}, {"FPS", 30}}) {
        ASSERT_EQ(Get(pOBSRemoteType, Remote(), name, result), 1) << name;
        EXPECT_EQ(result.Value.Int64, expected) << name;
    }

    // The authentication members need a connection, and AuthRequired the plug-in's answer.
    EXPECT_EQ(Get(pOBSRemoteType, Remote(), "IsAuthenticated", result), 0);
    client.State.store(Ready);
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "IsAuthenticated", result), 1);
    EXPECT_EQ(Bool(result), "true");
    EXPECT_EQ(Get(pOBSRemoteType, Remote(), "AuthRequired", result), 0);
    client.HaveAuthInfo.store(true);
    client.AuthChallenge.Set("challenge");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "AuthRequired", result), 1);
    EXPECT_EQ(Bool(result), "true");
    client.AuthChallenge.Set("");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "AuthRequired", result), 1);
    EXPECT_EQ(Bool(result), "false");

    for (auto [state, name] : std::vector<std::pair<uint32_t, const char*>>{
             {Connecting, "Connecting"}, {Connected, "Connected"}, {Ready, "Ready"}, {Disconnecting, "Disconnecting"},
             {99, "Unknown"}}) {
        client.State.store(state);
        EXPECT_EQ(Text(pOBSRemoteType, Remote(), "State"), name);
    }
}

TEST_F(ScriptTypesTest, ValueWithZeroFirstWordAnswersFalseEverywhere)
{
    AddScene("Intro", R"([{"name":"Cam","render":true}])");
    client.Model.SetCurrentSceneName("Intro");
    client.State.store(Ready);
    KSValue none;
    none.Word2 = 1;
    KSTypedValue result;
    const char* args[] = {"1", "1", "1"};
    for (const char* name : OBSRemoteMembers) {
        EXPECT_EQ(pOBSRemoteType->DispatchMember(none, name, 3, args, result), 0) << name;
    }
    for (const char* name : OBSRemoteMethods) {
        if (std::string(name) != "Connect" && std::string(name) != "Disconnect") {
            EXPECT_EQ(pOBSRemoteType->DispatchMethod(none, name, 3, args), 0) << name;
        }
    }
    for (const char* name : {"Name", "IsCurrentScene", "Source", "NumSources"}) {
        EXPECT_EQ(pOBSRemoteSceneType->DispatchMember(none, name, 3, args, result), 0) << name;
    }
    EXPECT_EQ(pOBSRemoteSceneType->DispatchMethod(none, "SetCurrentScene", 3, args), 0);
    for (const char* name : {"Name", "Render", "X", "Y", "Width", "Height"}) {
        EXPECT_EQ(pOBSRemoteSourceType->DispatchMember(none, name, 3, args, result), 0) << name;
    }
    EXPECT_EQ(pOBSRemoteSourceType->DispatchMethod(none, "SetRender", 3, args), 0);
    char text[16];
    EXPECT_FALSE(pOBSRemoteType->ToText(none, text, sizeof(text)));
    EXPECT_FALSE(pOBSRemoteSceneType->ToText(none, text, sizeof(text)));
    EXPECT_FALSE(pOBSRemoteSourceType->ToText(none, text, sizeof(text)));
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(host.Lines().empty());
}

TEST_F(ScriptTypesTest, IdsBeyondTheTablesAnswerFalse)
{
    AddScene("Intro", R"([{"name":"Cam"}])");
    const KSValue scene = Scene({"1"});
    const KSValue source = Source(scene, {"1"});
    KSTypedValue result;
    _KSTypeMember record;
    KSValue value = Remote();
    record.ID = 20;
    EXPECT_FALSE(pOBSRemoteType->GetMember(Remote(), &record, 0, nullptr, result));
    record.ID = 16;
    EXPECT_FALSE(pOBSRemoteType->GetMethod(value, &record, 0, nullptr));
    record.ID = 4;
    EXPECT_FALSE(pOBSRemoteSceneType->GetMember(scene, &record, 0, nullptr, result));
    record.ID = 6;
    EXPECT_FALSE(pOBSRemoteSourceType->GetMember(source, &record, 0, nullptr, result));
    record.ID = 1;
    value = scene;
    EXPECT_FALSE(pOBSRemoteSceneType->GetMethod(value, &record, 0, nullptr));
    value = source;
    EXPECT_FALSE(pOBSRemoteSourceType->GetMethod(value, &record, 1, nullptr));
}

TEST_F(ScriptTypesTest, MethodsNeedTheirArgumentsAndOtherwiseAnswerTrue)
{
    // Too few arguments: false, nothing sent or printed.
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetVolume", {"mic"}), 0);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "Authenticate"), 0);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetCurrentScene"), 0);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetSourceOrder"), 0);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetSourceRender", {"Cam"}), 0);
    EXPECT_TRUE(host.Lines().empty());

    // While disconnected every request still answers true and its sender says why nothing went.
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "GetVersion"), 1);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetVolume", {"mic", "0.5"}), 1);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetCurrentScene", {"Game"}), 1);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetSourceOrder", {"a"}), 1);
    EXPECT_EQ(Call(pOBSRemoteType, Remote(), "SetSourceRender", {"Cam", "1"}), 1);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"HVEOBSRemote: GetVersion: Not connected",
                                                       "HVEOBSRemote: SetVolume: Not connected",
                                                       "HVEOBSRemote: SetCurrentScene: Not connected",
                                                       "HVEOBSRemote: SetSourceOrder: Not connected",
                                                       "HVEOBSRemote: SetSourceRender: Not connected"}));
    EXPECT_TRUE(Sent().empty());

    // Missing entries in argv count as empty texts rather than being followed.
    client.State.store(Ready);
    const char* holes[] = {nullptr, nullptr, nullptr};
    KSValue value = Remote();
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(value, "SetVolume", 3, holes), 1);
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetVolume","channel":"","volume":0.00,"final":false)");
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(value, "SetCurrentScene", 1, holes), 1);
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetCurrentScene","scene-name":"")");
}

TEST_F(ScriptTypesTest, VolumeAndFlagArgumentsFollowTheNumberRules)
{
    client.State.store(Ready);
    Call(pOBSRemoteType, Remote(), "SetVolume", {"mic", "0.5"});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetVolume","channel":"mic","volume":0.50,"final":false)");
    Call(pOBSRemoteType, Remote(), "SetVolume", {"mic", "0.5", "TRUE"});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetVolume","channel":"mic","volume":0.50,"final":true)");
    Call(pOBSRemoteType, Remote(), "SetVolume", {"desktop", "loud", "1"});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetVolume","channel":"desktop","volume":0.00,"final":true)");
    Call(pOBSRemoteType, Remote(), "SetVolume", {"mic", "-0.25", "yes"});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetVolume","channel":"mic","volume":-0.25,"final":false)");

    for (auto [flag, sent] : std::vector<std::pair<const char*, const char*>>{
             {"True", "true"}, {"-2", "true"}, {"0.5", "true"}, {"0", "false"}, {"no", "false"}, {"off", "false"},
             {"", "false"}}) {
        Call(pOBSRemoteType, Remote(), "SetSourceRender", {"Cam", flag});
        EXPECT_EQ(OnlyRequest(), std::string(R"({"request-type":"SetSourceRender","source":"Cam","render":)") + sent)
            << flag;
    }
}

TEST_F(ScriptTypesTest, SourceOrderListsEveryNameQuotedAndEscaped)
{
    client.State.store(Ready);
    Call(pOBSRemoteType, Remote(), "SetSourceOrder", {"x"});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetSourceOrder","scene-names":["x"])");
    Call(pOBSRemoteType, Remote(), "SetSourceOrder", {"a", "b"});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetSourceOrder","scene-names":["a","b"])");
    Call(pOBSRemoteType, Remote(), "SetSourceOrder", {"say \"hi\"", "back\\slash", ""});
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetSourceOrder","scene-names":["say \"hi\"","back\\slash",""])");
}

TEST_F(ScriptTypesTest, SceneIsFoundByPositionOrByName)
{
    AddScene("Intro");
    AddScene("Game");
    AddScene("7");
    AddScene("-1");
    EXPECT_EQ(SceneName(Scene({"1"})), "Intro");
    EXPECT_EQ(SceneName(Scene({"2"})), "Game");
    EXPECT_EQ(SceneName(Scene({"1.9"})), "Intro");
    EXPECT_EQ(SceneName(Scene({"intro"})), "Intro");
    EXPECT_EQ(SceneName(Scene({"GAME", "ignored"})), "Game");
    EXPECT_EQ(SceneName(Scene({"-1"})), "-1") << "no position -1, so the name";
    EXPECT_EQ(SceneName(Scene({"4"})), "-1");
    EXPECT_EQ(SceneName(Scene({"0"})), "<none>") << "0 is a name, and there is no scene 0";
    AddScene("0");
    EXPECT_EQ(SceneName(Scene({"0"})), "0");
    EXPECT_EQ(SceneName(Scene({"7"})), "7") << "position 7 is empty, so the name";
    EXPECT_EQ(SceneName(Scene({"99999999999999999999"})), "<none>");
    EXPECT_EQ(SceneName(Scene({"-99999999999999999999"})), "<none>");
    EXPECT_EQ(SceneName(Scene({std::string(100000, '9').c_str()})), "<none>");
    EXPECT_EQ(SceneName(Scene({"Nope"})), "<none>");
    EXPECT_EQ(SceneName(Scene({""})), "<none>");
    EXPECT_EQ(SceneName(Scene({})), "<none>");
    EXPECT_EQ(SceneName(Scene({nullptr})), "<none>");

    KSTypedValue result;
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "NumScenes", result), 1);
    EXPECT_EQ(result.Value.Int64, 5);
}

TEST_F(ScriptTypesTest, CurrentSceneFollowsTheReportedName)
{
    AddScene("Intro");
    AddScene("Game");
    KSTypedValue result;
    EXPECT_EQ(Get(pOBSRemoteType, Remote(), "CurrentScene", result), 0);
    client.Model.SetCurrentSceneName("gAmE");
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "CurrentScene", result), 1);
    EXPECT_EQ(result.Type, pOBSRemoteSceneType);
    EXPECT_EQ(SceneName(result.Value), "Game");
    EXPECT_EQ(Text(pOBSRemoteType, Remote(), "CurrentSceneName"), "gAmE");
    client.Model.SetCurrentSceneName("Elsewhere");
    EXPECT_EQ(Get(pOBSRemoteType, Remote(), "CurrentScene", result), 0);
    EXPECT_EQ(Text(pOBSRemoteType, Remote(), "CurrentSceneName"), "Elsewhere");
}

TEST_F(ScriptTypesTest, HandedOutTextsSurviveRenamesAndDeletion)
{
    SceneInfo* intro = AddScene("Intro", R"([{"name":"Cam"}])");
    client.Model.SetCurrentSceneName("Intro");
    KSTypedValue current;
    ASSERT_EQ(Get(pOBSRemoteType, Remote(), "CurrentSceneName", current), 1);
    const KSValue scene = Scene({"1"});
    KSTypedValue sceneName;
    ASSERT_EQ(Get(pOBSRemoteSceneType, scene, "Name", sceneName), 1);
    const KSValue source = Source(scene, {"1"});
    KSTypedValue sourceName;
    ASSERT_EQ(Get(pOBSRemoteSourceType, source, "Name", sourceName), 1);

    client.Model.SetCurrentSceneName(std::string(200, 'n').c_str());
    {
        CSectionGuard guard(&intro->SourcesLock);
        intro->Sources[0]->Name = std::string(300, 'r');
    }
    KeepOnlyScenes({});
    // The host reads its texts after the worker changed everything; ASan checks the reads.
    EXPECT_STREQ(static_cast<const char*>(current.Value.Pointer), "Intro");
    EXPECT_STREQ(static_cast<const char*>(sceneName.Value.Pointer), "Intro");
    EXPECT_STREQ(static_cast<const char*>(sourceName.Value.Pointer), "Cam");
}

TEST_F(ScriptTypesTest, SceneMembersAndSourceLookups)
{
    AddScene("Intro", R"([{"name":"Cam","render":true,"x":1.5,"y":2.5,"cx":640.0,"cy":480.0},{"name":"Logo"},{"name":"0"}])");
    AddScene("Empty");
    const KSValue intro = Scene({"Intro"});
    const KSValue empty = Scene({"Empty"});

    KSTypedValue result;
    ASSERT_EQ(Get(pOBSRemoteSceneType, intro, "NumSources", result), 1);
    EXPECT_EQ(result.Type, pInt64Type);
    EXPECT_EQ(result.Value.Int64, 3);
    ASSERT_EQ(Get(pOBSRemoteSceneType, empty, "NumSources", result), 1);
    EXPECT_EQ(result.Value.Int64, 0);
    EXPECT_EQ(SourceName(Source(empty, {"1"})), "<none>");

    EXPECT_EQ(SourceName(Source(intro, {"1"})), "Cam");
    EXPECT_EQ(SourceName(Source(intro, {"2.7"})), "Logo");
    EXPECT_EQ(SourceName(Source(intro, {"logo"})), "Logo");
    EXPECT_EQ(SourceName(Source(intro, {"0"})), "0");
    EXPECT_EQ(SourceName(Source(intro, {"4"})), "<none>");
    EXPECT_EQ(SourceName(Source(intro, {"-1"})), "<none>");
    EXPECT_EQ(SourceName(Source(intro, {"99999999999999999999"})), "<none>");
    EXPECT_EQ(SourceName(Source(intro, {""})), "<none>");
    EXPECT_EQ(SourceName(Source(intro, {})), "<none>");

    // IsCurrentScene ignores letter case; an empty current name matches no named scene.
    ASSERT_EQ(Get(pOBSRemoteSceneType, intro, "IsCurrentScene", result), 1);
    EXPECT_EQ(Bool(result), "false");
    client.Model.SetCurrentSceneName("INTRO");
    ASSERT_EQ(Get(pOBSRemoteSceneType, intro, "IsCurrentScene", result), 1);
    EXPECT_EQ(result.Type, pBoolType);
    EXPECT_EQ(Bool(result), "true");

    const KSValue cam = Source(intro, {"Cam"});
    ASSERT_EQ(Get(pOBSRemoteSourceType, cam, "Render", result), 1);
    EXPECT_EQ(Bool(result), "true");
    for (auto [name, expected] : std::vector<std::pair<const char*, double>>{
             {"X", 1.5}, {"Y", 2.5}, {"Width", 640}, {"Height", 480}}) {
        ASSERT_EQ(Get(pOBSRemoteSourceType, cam, name, result), 1) << name;
        EXPECT_EQ(result.Type, pFloat64Type);
        EXPECT_DOUBLE_EQ(result.Value.Float64, expected) << name;
    }

    char text[8];
    ASSERT_TRUE(pOBSRemoteSceneType->ToText(intro, text, sizeof(text)));
    EXPECT_STREQ(text, "Intro");
    ASSERT_TRUE(pOBSRemoteSceneType->ToText(intro, text, 3));
    EXPECT_STREQ(text, "In");
    ASSERT_TRUE(pOBSRemoteSourceType->ToText(cam, text, sizeof(text)));
    EXPECT_STREQ(text, "Cam");
    ASSERT_TRUE(pOBSRemoteSourceType->ToText(cam, text, 1));
    EXPECT_STREQ(text, "");

    // The record is updated in place, so the object sees a rename at once.
    {
        SceneInfo* scene = client.Model.FindScene("Intro", false);
        CSectionGuard guard(&scene->SourcesLock);
        scene->Sources[0]->Name = "Camera";
    }
    EXPECT_EQ(SourceName(cam), "Camera");
}

TEST_F(ScriptTypesTest, SetCurrentSceneSendsOnlyForAnotherSceneWhileConnected)
{
    AddScene("Intro");
    AddScene("Game");
    client.Model.SetCurrentSceneName("Intro");
    const KSValue intro = Scene({"Intro"});
    const KSValue game = Scene({"Game"});

    EXPECT_EQ(Call(pOBSRemoteSceneType, game, "SetCurrentScene"), 0);
    EXPECT_TRUE(host.Lines().empty()) << "nothing printed while not connected";

    client.State.store(Connected);
    EXPECT_EQ(Call(pOBSRemoteSceneType, intro, "SetCurrentScene"), 1);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Call(pOBSRemoteSceneType, game, "SetCurrentScene", {"ignored"}), 1);
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetCurrentScene","scene-name":"Game")");
    KSTypedValue result;
    ASSERT_EQ(Get(pOBSRemoteSceneType, game, "IsCurrentScene", result), 1);
    EXPECT_EQ(Bool(result), "false") << "the model waits for OBS to report the switch";
}

TEST_F(ScriptTypesTest, SetRenderActsOnlyOnTheCurrentSceneWhileConnected)
{
    AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo","render":false}])");
    AddScene("Game", R"([{"name":"Cam","render":false}])");
    client.Model.SetCurrentSceneName("Intro");
    const KSValue cam = Source(Scene({"Intro"}), {"Cam"});
    const KSValue logo = Source(Scene({"Intro"}), {"Logo"});
    const KSValue otherCam = Source(Scene({"Game"}), {"Cam"});

    EXPECT_EQ(Call(pOBSRemoteSourceType, logo, "SetRender", {"1"}), 0) << "not connected";
    client.State.store(Ready);
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender"), 0);
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender", {"TRUE"}), 1);
    EXPECT_TRUE(Sent().empty()) << "already rendered";
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender", {"0"}), 1);
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetSourceRender","source":"Cam","render":false)");
    EXPECT_EQ(Call(pOBSRemoteSourceType, logo, "SetRender", {"0.5"}), 1);
    EXPECT_EQ(OnlyRequest(), R"({"request-type":"SetSourceRender","source":"Logo","render":true)");
    EXPECT_EQ(Call(pOBSRemoteSourceType, otherCam, "SetRender", {"1"}), 0) << "scene not current";
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScriptTypesTest, ObjectsWhoseRecordsWereDeletedAnswerFalse)
{
    AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo"}])");
    AddScene("Game", R"([{"name":"Mic"}])");
    client.Model.SetCurrentSceneName("Intro");
    client.State.store(Ready);
    const KSValue intro = Scene({"Intro"});
    const KSValue cam = Source(intro, {"Cam"});
    const KSValue logo = Source(intro, {"Logo"});
    const KSValue mic = Source(Scene({"Game"}), {"Mic"});

    // The sources are rebuilt without Cam: Cam's object is stale, Logo's lives on.
    json_t* onlyLogo = json_loads(R"([{"name":"Logo"}])", 0, nullptr);
    SceneModel::PopulateSources(client.Model.FindScene("Intro", false), onlyLogo);
    json_decref(onlyLogo);
    KSTypedValue result;
    for (const char* name : {"Name", "Render", "X", "Y", "Width", "Height"}) {
        EXPECT_EQ(Get(pOBSRemoteSourceType, cam, name, result), 0) << name;
    }
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender", {"0"}), 0);
    char text[16];
    EXPECT_FALSE(pOBSRemoteSourceType->ToText(cam, text, sizeof(text)));
    EXPECT_EQ(SourceName(logo), "Logo");

    // A scene list without Intro deletes the scene with its sources.
    KeepOnlyScenes({"Game"});
    for (const char* name : {"Name", "IsCurrentScene", "NumSources"}) {
        EXPECT_EQ(Get(pOBSRemoteSceneType, intro, name, result), 0) << name;
    }
    EXPECT_EQ(Get(pOBSRemoteSceneType, intro, "Source", {"1"}, result), 0);
    EXPECT_EQ(Call(pOBSRemoteSceneType, intro, "SetCurrentScene"), 0);
    EXPECT_FALSE(pOBSRemoteSceneType->ToText(intro, text, sizeof(text)));
    EXPECT_EQ(Get(pOBSRemoteSourceType, logo, "Name", result), 0);
    EXPECT_EQ(SourceName(mic), "Mic");

    // A record at the same address but with another serial is not the object's record.
    SceneInfo* game = client.Model.FindScene("Game", false);
    KSValue forged = Scene({"Game"});
    forged.Word2 += 1000;
    EXPECT_EQ(Get(pOBSRemoteSceneType, forged, "Name", result), 0);
    KSValue forgedSource = mic;
    forgedSource.Word2 = game->Serial;
    EXPECT_EQ(Get(pOBSRemoteSourceType, forgedSource, "Name", result), 0);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScriptTypesTest, ReadsStaySoundWhileTheWorkerRebuildsTheModel)
{
    // Run under ASan and TSan: the script thread keeps reading old and new objects while
    // another thread renames, rebuilds and deletes the records behind them.
    AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo"}])");
    client.Model.SetCurrentSceneName("Intro");
    const KSValue oldScene = Scene({"Intro"});
    const KSValue oldSource = Source(oldScene, {"Cam"});
    std::atomic<bool> done{false};
    std::thread worker([this, &done] {
        json_t* full = json_loads(R"([{"name":"Cam","render":true},{"name":"Logo"}])", 0, nullptr);
        json_t* other = json_loads(R"([{"name":"Other"}])", 0, nullptr);
        for (int i = 0; i < 400; ++i) {
            {
                CSectionGuard guard(&client.Model.ScenesLock);
                SceneModel::PopulateSources(client.Model.FindScene("Intro", true), i % 2 != 0 ? full : other);
                SceneInfo* intro = client.Model.FindScene("Intro", false);
                CSectionGuard sources(&intro->SourcesLock);
                if (!intro->Sources.empty()) {
                    intro->Sources[0]->Name = std::string(static_cast<size_t>(i % 40) + 1, 'r');
                }
            }
            client.Model.SetCurrentSceneName(i % 3 != 0 ? "Intro" : "A much longer current scene name");
            if (i % 50 == 0) {
                KeepOnlyScenes({});
            }
        }
        json_decref(full);
        json_decref(other);
        done.store(true);
    });
    size_t reads = 0;
    char text[64];
    KSTypedValue result;
    while (!done.load() || reads == 0) {
        const KSValue scene = Scene({"1"});
        const KSValue source = scene.IsNone() ? KSValue() : Source(scene, {"1"});
        for (const KSValue& s : {scene, oldScene}) {
            Get(pOBSRemoteSceneType, s, "Name", result);
            Get(pOBSRemoteSceneType, s, "IsCurrentScene", result);
            Get(pOBSRemoteSceneType, s, "NumSources", result);
            pOBSRemoteSceneType->ToText(s, text, sizeof(text));
        }
        for (const KSValue& s : {source, oldSource}) {
            for (const char* name : {"Name", "Render", "X", "Width"}) {
                Get(pOBSRemoteSourceType, s, name, result);
            }
            pOBSRemoteSourceType->ToText(s, text, sizeof(text));
        }
        Get(pOBSRemoteType, Remote(), "CurrentSceneName", result);
        Get(pOBSRemoteType, Remote(), "CurrentScene", result);
        ++reads;
    }
    worker.join();
    EXPECT_GT(reads, 0u);
}

TEST(ScriptRegistration, TypesAreLookedUpRegisteredAndWithdrawnInOrder)
{
    RecordingHost host;
    OBSRemoteClient client;
    KSTypeDefinition stringType("string");
    KSTypeDefinition boolType("bool");
    host.Types["string"] = &stringType;
    host.Types["bool"] = &boolType;

    LookUpBuiltinTypes(&host);
    std::vector<std::string> expected;
    for (const char* name : BuiltinNames) {
        expected.push_back(std::string("FindType ") + name);
    }
    EXPECT_EQ(host.Calls(), expected);
    EXPECT_EQ(pStringType, &stringType);
    EXPECT_EQ(pBoolType, &boolType);
    EXPECT_EQ(pInt64Type, nullptr);

    host.Clear();
    RegisterScriptTypes(&host, &client);
    ASSERT_EQ(host.RegisteredTypes.size(), 3u);
    EXPECT_STREQ(host.RegisteredTypes[0]->TypeName, "obsremote");
    EXPECT_STREQ(host.RegisteredTypes[1]->TypeName, "obsremotesource");
    EXPECT_STREQ(host.RegisteredTypes[2]->TypeName, "obsremotescene");
    EXPECT_EQ(host.RegisteredTypes[0], pOBSRemoteType);
    EXPECT_EQ(host.RegisteredTypes[1], pOBSRemoteSourceType);
    EXPECT_EQ(host.RegisteredTypes[2], pOBSRemoteSceneType);
    EXPECT_EQ(pOBSRemoteType->Parent, nullptr);
    EXPECT_EQ(pOBSRemoteType->NextMemberID, 20u);
    EXPECT_EQ(pOBSRemoteType->NextMethodID, 16u);
    EXPECT_EQ(pOBSRemoteSceneType->NextMemberID, 4u);
    EXPECT_EQ(pOBSRemoteSourceType->NextMemberID, 6u);
    uint32_t id = 0;
    ASSERT_TRUE(pOBSRemoteType->GetMemberID("NumScenes", id));
    EXPECT_EQ(id, 19u);
    ASSERT_TRUE(pOBSRemoteType->GetMethodID("Disconnect", id));
    EXPECT_EQ(id, 15u);

    KSTypedValue result;
    result.Value.UInt64 = 0xFFFFFFFFFFFFFFFFull;
    const char* ignored[] = {"x"};
    ASSERT_TRUE(OBSRemoteTopLevelObject(1, ignored, &result));
    EXPECT_EQ(result.Type, pOBSRemoteType);
    EXPECT_EQ(result.Value.Low32(), 1u);

    UnregisterScriptTypes(&host);
    EXPECT_TRUE(host.RegisteredTypes.empty());
    EXPECT_EQ(pOBSRemoteType, nullptr);
    EXPECT_EQ(pOBSRemoteSourceType, nullptr);
    EXPECT_EQ(pOBSRemoteSceneType, nullptr);
}
