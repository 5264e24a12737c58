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
#include "tests/support/client_test_support.h"

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
        CWinLock guard(&client.Model.ScenesLock);
        client.Model.MarkScenesStale();
        for (const char* name : names)
            client.Model.FindScene(name, false)->Stale = false;
        client.Model.RemoveStaleScenes();
    }

    // The requests queued since the last look, without their message ids.
    std::vector<std::string> Sent()
    {
        std::vector<std::string> sent;
        for (const std::string& message : TakeQueued(client))
            sent.push_back(message.substr(0, message.find(",\"message-id\"")));
        return sent;
    }

    RecordingHost host;
    OBSRemoteClient client;
    std::vector<std::unique_ptr<KSTypeDefinition>> Builtins;
    KSValue Obs;
};

TEST_F(ScriptTypesTest, MembersAnswerOnlyOnceTheirValuesArrivedAndKeepWideValues)
{
    // Which members have values in which state is checked on the real module; here the
    // values beyond what the simulator reports, and states it never takes.
    std::map<std::string, std::string> always{
        {"State", "text Disconnected"}, {"CurrentSceneName", "text "}, {"NumScenes", "int 0"},
        {"Host", "text localhost"},     {"Port", "int 4444"},          {"AutoReconnect", "bool false"}, {"Protocol", "text obsapi"},
        {"ReconnectAttempt", "int 0"}};
    for (const auto& [name, slot] : pOBSRemoteType->MemberIndex)
        EXPECT_EQ(Show(name.c_str(), {"1"}), always.count(name) != 0 ? always[name] : "<none>") << name;
    EXPECT_EQ(host.RegisteredTypes,
              (std::vector<KSTypeDefinition*>{pOBSRemoteType, pOBSRemoteSourceType, pOBSRemoteSceneType}));
    client.HaveStreamStats = true;
    client.BytesPerSecond.store(5000000000LL);
    EXPECT_EQ(Show("BytesPerSecond"), "int 5000000000");
    client.State.store(Ready);
    client.HaveAuthInfo.store(true);
    client.AuthChallenge.Set("");
    EXPECT_EQ(Show("AuthRequired"), "bool false");
    for (const auto& [state, name] : std::vector<std::pair<uint32_t, const char*>>{
             {Connected, "Connected"}, {Disconnecting, "Disconnecting"}, {99, "Unknown"}}) {
        client.State.store(state);
        EXPECT_EQ(Show("State"), std::string("text ") + name);
    }
    EXPECT_TRUE(host.Lines().empty()) << "members print nothing";
}

TEST_F(ScriptTypesTest, HostileArgumentsAreReadSafely)
{
    AddScene("Intro", R"([{"name":"Cam","render":true},{"name":"Logo"},{"name":"0"}])");
    for (const char* name : {"Game", "7", "-1"})
        AddScene(name);
    client.Model.SetCurrentSceneName("Intro");
    client.State.store(Ready);
    // Missing entries in argv count as empty texts rather than being followed.
    const char* holes[] = {nullptr, nullptr, nullptr};
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(Obs, "SetVolume", 3, holes), 1);
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(Obs, "SetCurrentScene", 1, holes), 1);
    EXPECT_EQ(pOBSRemoteType->DispatchMethod(Obs, "SetSourceOrder", 2, holes), 1);
    EXPECT_EQ(Call(pOBSRemoteSourceType, Source(Scene("Intro"), "Cam"), "SetRender", {nullptr}), 1);
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          R"({"request-type":"SetVolume","channel":"","volume":0.00,"final":false)",
                          R"({"request-type":"SetCurrentScene","scene-name":"")",
                          R"({"request-type":"SetSourceOrder","scene-names":["",""])",
                          R"({"request-type":"SetSourceRender","source":"Cam","render":false)"}));

    // Selectors out of every range, huge or missing find nothing.
    const std::string huge(100000, '9');
    const KSValue intro = Scene("Intro");
    const char* no = "<none>";
    for (const auto& [selector, scene, source] : std::vector<std::tuple<const char*, std::string, std::string>>{
             {"2.7", "scene Game", "source Logo"}, {"-1", "scene -1", no}, {"0", no, "source 0"},
             {"99999999999999999999", no, no}, {"-99999999999999999999", no, no}, {huge.data(), no, no},
             {"", no, no}, {nullptr, no, no}}) {
        EXPECT_EQ(Show("Scene", {selector, "ignored"}), scene) << (selector != nullptr ? selector : "null");
        EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "Source", {selector}), source) << (selector ? selector : "null");
    }
    EXPECT_EQ(Show("Scene"), "<none>");
    EXPECT_EQ(Show(pOBSRemoteSceneType, intro, "Source"), "<none>");
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
        CWinLock guard(&introRecord->SourcesLock);
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
                CWinLock guard(&client.Model.ScenesLock);
                SceneInfo* intro = AddScene("Intro", i % 2 != 0 ? R"([{"name":"Cam"},{"name":"L"}])" : R"([{"name":"O"}])");
                CWinLock sources(&intro->SourcesLock);
                if (!intro->Sources.empty())
                    intro->Sources[0]->Name = std::string(i % 40 + 1u, 'r');
            }
            client.Model.SetCurrentSceneName(i % 3 != 0 ? "Intro" : "A much longer current scene name");
            if (i % 50 == 0)
                KeepOnlyScenes({});
        }
        done.store(true);
    });
    // Every name read is one the worker wrote whole, or none at all: a torn or stale text
    // (a record read while it changed, or after it was deleted) is neither.
    const auto wholeName = [](const std::string& read) {
        if (read == "<none>" || read == "text Intro" || read == "text A much longer current scene name")
            return true;
        for (const char* source : {"text Cam", "text L", "text O", "text Logo"})
            if (read == source)
                return true;
        return read.size() > 5 && read.size() <= 45 && read.find_first_not_of('r', 5) == std::string::npos;
    };
    std::string torn;
    size_t reads = 0;
    char text[64];
    while (!done.load() || reads == 0) {
        const KSValue scene = Scene("1");
        for (const auto& [type, objects] : std::vector<std::pair<KSTypeDefinition*, std::vector<KSValue>>>{
                 {pOBSRemoteSceneType, {scene, oldScene}},
                 {pOBSRemoteSourceType, {Source(scene, "1"), oldSource}},
                 {pOBSRemoteType, {Obs}}}) {
            for (const KSValue& object : objects) {
                for (const auto& [name, slot] : type->MemberIndex) {
                    const std::string read = Show(type, object, name.c_str(), {"1"});
                    if ((name == "Name" || name == "CurrentSceneName") && !wholeName(read) && torn.empty())
                        torn = name + ": " + read;
                }
                type->ToText(object, text, sizeof(text));
            }
        }
        ++reads;
    }
    worker.join();
    EXPECT_EQ(torn, "");
    // The first objects' records went with the worker's first emptying of the list.
    EXPECT_EQ(Show(pOBSRemoteSceneType, oldScene, "Name"), "<none>");
    EXPECT_EQ(Show(pOBSRemoteSourceType, oldSource, "Name"), "<none>");
}

} // namespace
