// The three script types against a test-owned client and a recording host: members in each
// state, method arguments, the index-or-name look-ups, the requests the methods queue, and
// objects that outlive their model records.
#include <gtest/gtest.h>

#include <jansson.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "client/obs_remote_client.h"
#include "script/builtin_types.h"
#include "script/obsremote_scene_type.h"
#include "script/obsremote_source_type.h"
#include "script/obsremote_type.h"
#include "script/script_registration.h"
#include "support/portable_lock.h"
#include "tests/support/recording_host.h"

namespace {

using Args = std::vector<const char*>;
using Table = std::vector<std::pair<const char*, std::string>>;

class ScriptTypesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"string", "int", "int64", "uint", "bool", "float", "float64", "time", "byte",
                                 "intptr", "boolptr", "floatptr", "byteptr"}) {
            Builtins.push_back(std::make_unique<KSTypeDefinition>(name));
            host.Types[name] = Builtins.back().get();
        }
        client.Link.Host.store(&host);
        LookUpBuiltinTypes(&host);
        RegisterScriptTypes(&host, &client);
        // Every obsremote value is the object 1, whatever the arguments.
        KSTypedValue top;
        top.Value.Word2 = 7;
        ASSERT_TRUE(OBSRemoteTopLevelObject(0, nullptr, &top) && top.Type == pOBSRemoteType);
        ASSERT_TRUE(top.Value.UInt64 == 1 && top.Value.Word2 == 0);
        Obs = top.Value;
        host.Clear();
    }

    void TearDown() override
    {
        client.State.store(Disconnected);
        UnregisterScriptTypes(&host);
    }

    // A member's answer with its type ("bool true", "scene Intro"), or "<none>" when it answers false.
    static std::string Show(KSTypeDefinition* type, KSValue value, const char* name, Args args = {})
    {
        KSTypedValue r;
        if (type->DispatchMember(value, name, static_cast<int32_t>(args.size()), args.data(), r) != 1)
            return "<none>";
        char text[80] = "";
        if (r.Type == pFloat64Type)
            std::snprintf(text, sizeof(text), "%.17g", r.Value.Float64);
        else if (r.Type != nullptr)
            r.Type->ToText(r.Value, text, sizeof(text)); // a scene's or a source's name
        if (r.Type == pStringType || r.Type == pBoolType || r.Type == pInt64Type)
            return r.Type == pStringType ? "text " + std::string(static_cast<const char*>(r.Value.Pointer))
                   : r.Type == pBoolType ? (r.Value.Low32() != 0 ? "bool true" : "bool false")
                                         : "int " + std::to_string(r.Value.Int64);
        return (r.Type == pFloat64Type ? "real " : r.Type == pOBSRemoteSceneType ? "scene "
                : r.Type == pOBSRemoteSourceType ? "source " : "<wrong type> ") + std::string(text);
    }
    std::string Show(const char* name, Args args = {}) const { return Show(pOBSRemoteType, Obs, name, args); }

    static KSValue Object(KSTypeDefinition* type, KSValue value, const char* name, const char* selector)
    {
        KSTypedValue r;
        return type->DispatchMember(value, name, 1, &selector, r) == 1 ? r.Value : KSValue();
    }
    KSValue Scene(const char* selector) const { return Object(pOBSRemoteType, Obs, "Scene", selector); }
    static KSValue Source(KSValue scene, const char* s) { return Object(pOBSRemoteSceneType, scene, "Source", s); }

    static int32_t Call(KSTypeDefinition* type, KSValue value, const char* name, Args args = {})
    {
        return type->DispatchMethod(value, name, static_cast<int32_t>(args.size()), args.data());
    }

    // Creates the scene when it is new; its sources are rebuilt from the list either way.
    SceneInfo* AddScene(const char* name, const char* sourcesJson = "[]")
    {
        SceneInfo* scene = client.Model.FindScene(name, true);
        json_t* sources = json_loads(sourcesJson, 0, nullptr);
        SceneModel::PopulateSources(scene, sources);
        json_decref(sources);
        return scene;
    }
    // As a scene-list answer does: every scene not named again is deleted.
    void KeepOnlyScenes(Args names)
    {
        CSectionGuard guard(&client.Model.ScenesLock);
        client.Model.MarkScenesStale();
        for (const char* name : names)
            client.Model.FindScene(name, false)->Stale = false;
        client.Model.RemoveStaleScenes();
    }

    // The requests queued since the last look, without their message ids.
    std::vector<std::string> Sent()
    {
        CSectionGuard guard(&client.Session.SendLock);
        std::vector<std::string> sent;
        for (const std::string& message : client.Session.SendQueue)
            sent.push_back(message.substr(0, message.find(",\"message-id\"")));
        client.Session.SendQueue.clear();
        return sent;
    }

    RecordingHost host;
    OBSRemoteClient client;
    std::vector<std::unique_ptr<KSTypeDefinition>> Builtins;
    KSValue Obs;
};

TEST_F(ScriptTypesTest, TypesRegisterAndMembersAnswerOnlyOnceTheirValuesArrived)
{
    std::map<std::string, std::string> always{
        {"State", "text Disconnected"}, {"CurrentSceneName", "text "}, {"NumScenes", "int 0"}};
    for (const auto& [name, slot] : pOBSRemoteType->MemberIndex)
        EXPECT_EQ(Show(name.c_str(), {"1"}), always.count(name) != 0 ? always[name] : "<none>") << name;
    char text[32] = "";
    EXPECT_TRUE(pOBSRemoteType->ToText(Obs, text, sizeof(text)) && std::string(text) == "HVEOBSRemote") << text;
    EXPECT_EQ(host.RegisteredTypes,
              (std::vector<KSTypeDefinition*>{pOBSRemoteType, pOBSRemoteSourceType, pOBSRemoteSceneType}));
    EXPECT_STREQ(pOBSRemoteSourceType->TypeName, "obsremotesource");
    EXPECT_STREQ(pOBSRemoteSceneType->TypeName, "obsremotescene");

    client.HaveVersion = client.HaveVolumes = client.HaveStreamingStatus = client.HaveStreamStats = true;
    client.IsMicrophoneMuted = client.IsPreview = true;
    client.RemoteVersion.store(1.25);
    client.MicrophoneVolume.store(0.25);
    client.DesktopVolume.store(0.75);
    client.BytesPerSecond.store(5000000000LL);
    client.Strain.store(0.5);
    client.TotalStreamTime.store(42);
    client.NumTotalFrames.store(1000);
    client.NumDroppedFrames.store(3);
    client.FPS.store(30);
    for (const auto& [name, shown] : Table{
             {"RemoteVersion", "real 1.25"}, {"IsMicrophoneMuted", "bool true"}, {"IsDesktopMuted", "bool false"},
             {"MicrophoneVolume", "real 0.25"}, {"DesktopVolume", "real 0.75"}, {"IsStreaming", "bool false"},
             {"IsPreview", "bool true"}, {"BytesPerSecond", "int 5000000000"}, {"Strain", "real 0.5"},
             {"TotalStreamTime", "int 42"}, {"NumTotalFrames", "int 1000"}, {"NumDroppedFrames", "int 3"},
             {"FPS", "int 30"}, {"IsAuthenticated", "<none>"}})
        EXPECT_EQ(Show(name), shown) << name;

    // The authentication members need a connection, and AuthRequired the plug-in's answer.
    client.State.store(Ready);
    EXPECT_EQ(Show("IsAuthenticated"), "bool true");
    EXPECT_EQ(Show("AuthRequired"), "<none>");
    client.HaveAuthInfo.store(true);
    client.AuthChallenge.Set("challenge");
    EXPECT_EQ(Show("AuthRequired"), "bool true");
    client.AuthChallenge.Set("");
    EXPECT_EQ(Show("AuthRequired"), "bool false");

    for (const auto& [state, name] : std::vector<std::pair<uint32_t, const char*>>{
             {Connecting, "Connecting"}, {Connected, "Connected"}, {Disconnecting, "Disconnecting"}, {99, "Unknown"}}) {
        client.State.store(state);
        EXPECT_EQ(Show("State"), std::string("text ") + name);
    }
    EXPECT_TRUE(host.Lines().empty()) << "members print nothing";
}

TEST_F(ScriptTypesTest, MethodsReadTheirArgumentsAndSendOnlyWhatChangesSomething)
{
    AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo","render":false}])");
    AddScene("Game", R"([{"name":"Cam","render":false}])");
    client.Model.SetCurrentSceneName("Intro");
    const KSValue game = Scene("Game");
    const KSValue cam = Source(Scene("Intro"), "Cam");
    const KSValue logo = Source(Scene("Intro"), "Logo");

    // Too few arguments: false, nothing sent or printed.
    for (const auto& [name, args] : std::vector<std::pair<const char*, Args>>{
             {"SetVolume", {"mic"}}, {"Authenticate", {}}, {"SetCurrentScene", {}}, {"SetSourceOrder", {}},
             {"SetSourceRender", {"Cam"}}})
        EXPECT_EQ(Call(pOBSRemoteType, Obs, name, args), 0) << name;
    // Not connected: the scene and source methods answer false in silence; the requests
    // answer true and their senders say why nothing went.
    EXPECT_EQ(Call(pOBSRemoteSceneType, game, "SetCurrentScene"), 0);
    EXPECT_EQ(Call(pOBSRemoteSourceType, logo, "SetRender", {"1"}), 0);
    std::vector<std::string> why;
    for (const auto& [name, args] : std::vector<std::pair<const char*, Args>>{
             {"GetVersion", {}}, {"SetVolume", {"mic", "0.5"}}, {"SetCurrentScene", {"Game"}},
             {"SetSourceOrder", {"a"}}, {"SetSourceRender", {"Cam", "1"}}}) {
        EXPECT_EQ(Call(pOBSRemoteType, Obs, name, args), 1) << name;
        why.push_back(std::string("HVEOBSRemote: ") + name + ": Not connected");
    }
    EXPECT_EQ(host.Lines(), why);
    EXPECT_TRUE(Sent().empty());

    client.State.store(Connected);
    EXPECT_EQ(Call(pOBSRemoteSceneType, Scene("Intro"), "SetCurrentScene"), 1) << "already current: nothing sent";
    EXPECT_EQ(Call(pOBSRemoteSceneType, game, "SetCurrentScene", {"ignored"}), 1);
    EXPECT_EQ(Show(pOBSRemoteSceneType, game, "IsCurrentScene"), "bool false") << "the model waits for OBS";
    client.State.store(Ready);
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender"), 0);
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender", {"TRUE"}), 1) << "already rendered: nothing sent";
    EXPECT_EQ(Call(pOBSRemoteSourceType, cam, "SetRender", {"0"}), 1);
    EXPECT_EQ(Call(pOBSRemoteSourceType, logo, "SetRender", {"0.5"}), 1);
    EXPECT_EQ(Call(pOBSRemoteSourceType, Source(game, "Cam"), "SetRender", {"1"}), 0) << "scene not current";
    Call(pOBSRemoteType, Obs, "SetVolume", {"mic", "0.5", "TRUE"});
    Call(pOBSRemoteType, Obs, "SetVolume", {"desktop", "loud", "1"});
    Call(pOBSRemoteType, Obs, "SetVolume", {"mic", "-0.25", "yes"});
    // Missing entries in argv count as empty texts rather than being followed.
    const char* holes[] = {nullptr, nullptr, nullptr};
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(Obs, "SetVolume", 3, holes), 1);
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(Obs, "SetCurrentScene", 1, holes), 1);
    Call(pOBSRemoteType, Obs, "SetSourceOrder", {"say \"hi\"", "back\\slash", ""});
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          R"({"request-type":"SetCurrentScene","scene-name":"Game")",
                          R"({"request-type":"SetSourceRender","source":"Cam","render":false)",
                          R"({"request-type":"SetSourceRender","source":"Logo","render":true)",
                          R"({"request-type":"SetVolume","channel":"mic","volume":0.50,"final":true)",
                          R"({"request-type":"SetVolume","channel":"desktop","volume":0.00,"final":true)",
                          R"({"request-type":"SetVolume","channel":"mic","volume":-0.25,"final":false)",
                          R"({"request-type":"SetVolume","channel":"","volume":0.00,"final":false)",
                          R"({"request-type":"SetCurrentScene","scene-name":"")",
                          R"({"request-type":"SetSourceOrder","scene-names":["say \"hi\"","back\\slash",""])"}));

    std::vector<std::string> renders;
    for (const auto& [flag, sent] : Table{{"TRUE", "true"}, {"True", "true"}, {"1", "true"}, {"-2", "true"},
                                          {"0.5", "true"}, {"false", "false"}, {"0", "false"}, {"yes", "false"},
                                          {"off", "false"}, {"", "false"}}) {
        Call(pOBSRemoteType, Obs, "SetSourceRender", {"Cam", flag});
        renders.push_back(R"({"request-type":"SetSourceRender","source":"Cam","render":)" + sent);
    }
    EXPECT_EQ(Sent(), renders);
}

TEST_F(ScriptTypesTest, ScenesAndSourcesAreFoundByPositionOrByName)
{
    AddScene("Intro", R"([{"name":"Cam","render":true,"x":1.5,"y":2.5,"cx":640.0,"cy":480.0},{"name":"Logo"},
                         {"name":"0"}])");
    for (const char* name : {"Game", "7", "-1"})
        AddScene(name);
    const std::string huge(100000, '9');
    const KSValue intro = Scene("Intro");
    const char* no = "<none>";
    for (const auto& [selector, scene, source] : std::vector<std::tuple<const char*, std::string, std::string>>{
             {"1", "scene Intro", "source Cam"}, {"2", "scene Game", "source Logo"}, {"1.9", "scene Intro", "source Cam"},
             {"2.7", "scene Game", "source Logo"}, {"intro", "scene Intro", no}, {"LOGO", no, "source Logo"},
             {"-1", "scene -1", no}, {"4", "scene -1", no}, {"0", no, "source 0"}, {"7", "scene 7", no},
             {"99999999999999999999", no, no}, {"-99999999999999999999", no, no}, {huge.data(), no, no},
             {"", no, no}, {nullptr, no, no}}) {
        EXPECT_EQ(Show("Scene", {selector, "ignored"}), scene) << (selector != nullptr ? selector : "null");
        EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "Source", {selector}), source) << (selector ? selector : "null");
    }
    EXPECT_EQ(Show("Scene"), "<none>");
    AddScene("0");
    EXPECT_EQ(Show("Scene", {"0"}), "scene 0") << "0 is a name, and there is no position 0";
    EXPECT_EQ(Show("NumScenes"), "int 5");
    EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "Source"), "<none>");
    EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "NumSources"), "int 3");
    EXPECT_EQ(Show(pOBSRemoteSceneType, Scene("Game"), "Source", {"1"}), "<none>");

    const KSValue cam = Source(intro, "Cam");
    for (const auto& [name, shown] : Table{{"Render", "bool true"}, {"X", "real 1.5"}, {"Y", "real 2.5"},
                                           {"Width", "real 640"}, {"Height", "real 480"}})
        EXPECT_EQ(Show(pOBSRemoteSourceType, cam, name), shown) << name;

    // The current scene follows the reported name in any letter case.
    EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "IsCurrentScene"), "bool false");
    client.Model.SetCurrentSceneName("INTRO");
    EXPECT_EQ(Show("CurrentScene"), "scene Intro");
    EXPECT_EQ(Show("CurrentSceneName"), "text INTRO");
    EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "IsCurrentScene"), "bool true");
    client.Model.SetCurrentSceneName("Elsewhere");
    EXPECT_EQ(Show("CurrentScene"), "<none>");
}

TEST_F(ScriptTypesTest, StaleOrForgedObjectsAnswerFalseAndHandedOutTextsStayValid)
{
    // Run under ASan: no deleted record or text may be read through an old object or pointer.
    SceneInfo* introRecord = AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo"}])");
    AddScene("Game", R"([{"name":"Mic"}])");
    client.Model.SetCurrentSceneName("Intro");
    client.State.store(Ready);
    const KSValue intro = Scene("Intro");
    const KSValue cam = Source(intro, "Cam");
    const KSValue logo = Source(intro, "Logo");
    const KSValue mic = Source(Scene("Game"), "Mic");
    KSTypedValue current, sceneName, sourceName;
    ASSERT_EQ(pOBSRemoteType->DispatchMember(Obs, "CurrentSceneName", 0, nullptr, current), 1);
    ASSERT_EQ(pOBSRemoteSceneType->DispatchMember(intro, "Name", 0, nullptr, sceneName), 1);
    ASSERT_EQ(pOBSRemoteSourceType->DispatchMember(cam, "Name", 0, nullptr, sourceName), 1);

    // Every member and method answers false for a dead object.
    auto expectDead = [](KSTypeDefinition* type, KSValue value) {
        for (const auto& [name, slot] : type->MemberIndex)
            EXPECT_EQ(Show(type, value, name.c_str(), {"1", "1", "1"}), "<none>") << type->TypeName << " " << name;
        for (const auto& [name, slot] : type->MethodIndex)
            EXPECT_EQ(Call(type, value, name.c_str(), {"1", "1", "1"}), 0) << type->TypeName << " " << name;
        char text[16];
        EXPECT_FALSE(type->ToText(value, text, sizeof(text))) << type->TypeName;
    };
    KSValue none; // a first word of 0 is no object at all
    none.Word2 = 1;
    for (KSTypeDefinition* type : {pOBSRemoteType, pOBSRemoteSceneType, pOBSRemoteSourceType})
        expectDead(type, none);

    // Cam is renamed, then the sources are rebuilt without it: its object is stale, Logo's lives on.
    client.Model.SetCurrentSceneName(std::string(200, 'n').c_str());
    {
        CSectionGuard guard(&introRecord->SourcesLock);
        introRecord->Sources[0]->Name = std::string(300, 'r');
    }
    AddScene("Intro", R"([{"name":"Logo"}])");
    expectDead(pOBSRemoteSourceType, cam);
    EXPECT_EQ(Show(pOBSRemoteSourceType, logo, "Name"), "text Logo");

    // A scene list without Intro deletes the scene with its sources.
    KeepOnlyScenes({"Game"});
    expectDead(pOBSRemoteSceneType, intro);
    expectDead(pOBSRemoteSourceType, logo);
    EXPECT_EQ(Show(pOBSRemoteSourceType, mic, "Name"), "text Mic");

    // A record at the same address but with another serial is not the object's record.
    KSValue forged = Scene("Game");
    forged.Word2 += 1000;
    EXPECT_EQ(Show(pOBSRemoteSceneType, forged, "Name"), "<none>");
    KSValue forgedSource = mic;
    forgedSource.Word2 = client.Model.FindScene("Game", false)->Serial;
    EXPECT_EQ(Show(pOBSRemoteSourceType, forgedSource, "Name"), "<none>");
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(host.Lines().empty());

    // The host reads the texts it was handed after all of that.
    EXPECT_STREQ(static_cast<const char*>(current.Value.Pointer), "Intro");
    EXPECT_STREQ(static_cast<const char*>(sceneName.Value.Pointer), "Intro");
    EXPECT_STREQ(static_cast<const char*>(sourceName.Value.Pointer), "Cam");
}

TEST_F(ScriptTypesTest, ReadsStaySoundWhileTheWorkerRebuildsTheModel)
{
    // Run under ASan and TSan: the script thread keeps reading old and new objects while
    // another thread renames, rebuilds and deletes the records behind them.
    AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo"}])");
    client.Model.SetCurrentSceneName("Intro");
    const KSValue oldScene = Scene("Intro");
    const KSValue oldSource = Source(oldScene, "Cam");
    std::atomic<bool> done{false};
    std::thread worker([this, &done] {
        for (int i = 0; i < 400; ++i) {
            {
                CSectionGuard guard(&client.Model.ScenesLock);
                SceneInfo* intro = AddScene("Intro", i % 2 != 0 ? R"([{"name":"Cam"},{"name":"L"}])" : R"([{"name":"O"}])");
                CSectionGuard sources(&intro->SourcesLock);
                if (!intro->Sources.empty())
                    intro->Sources[0]->Name = std::string(i % 40 + 1u, 'r');
            }
            client.Model.SetCurrentSceneName(i % 3 != 0 ? "Intro" : "A much longer current scene name");
            if (i % 50 == 0)
                KeepOnlyScenes({});
        }
        done.store(true);
    });
    size_t reads = 0;
    char text[64];
    while (!done.load() || reads == 0) {
        const KSValue scene = Scene("1");
        for (const auto& [type, objects] : std::vector<std::pair<KSTypeDefinition*, std::vector<KSValue>>>{
                 {pOBSRemoteSceneType, {scene, oldScene}},
                 {pOBSRemoteSourceType, {Source(scene, "1"), oldSource}},
                 {pOBSRemoteType, {Obs}}}) {
            for (const KSValue& object : objects) {
                for (const auto& [name, slot] : type->MemberIndex)
                    Show(type, object, name.c_str(), {"1"});
                type->ToText(object, text, sizeof(text));
            }
        }
        ++reads;
    }
    worker.join();
}

} // namespace
