// Routing of received messages and the handling of answers, driven through DispatchMessage.
// The plug-in's own wire texts run as data cases in tests/cases; these check what a dump
// cannot show: record identity, lock holding, the authentication state between answers.
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

class Answers : public ::testing::Test, protected MessageHarness {};

// The first known key decides, whatever its value; a non-string status hides nothing;
// answers without a known key and non-objects are ignored; only the first value is parsed.
TEST_F(Answers, RoutingByKeyPresence)
{
    Send(R"({"message-id":"1","streaming":null})");
    Send(R"({"message-id":"2","version":"1.1"})");
    Send(R"({"message-id":"3","status":"ok","authRequired":null})");
    Send(R"({"message-id":"1","status":5,"version":1.25})");
    Send(R"(["update-type","ScenesChanged"])");
    Send(R"({"message-id":"8","status":"errors","error":"not an error status"})");
    Send(R"({"message-id":"9","version":1.5} {"message-id":"10","version":2.5})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStatusRsp "0" "0")", R"(OBSRemote:VersionRsp "0.00")",
                               R"(OBSRemote:AuthRequiredRsp "0")", R"(OBSRemote:VersionRsp "1.25")",
                               R"(OBSRemote:VersionRsp "1.50")"}));
}

// Numbers must be reals (an integer reads as 0) and flags must be true booleans.
TEST_F(Answers, NumbersAreRealsAndFlagsOnlyTrue)
{
    Send(R"({"version": 1.1000000000000001, "status": "ok", "message-id": "1"})");
    EXPECT_DOUBLE_EQ(client.RemoteVersion.load(), 1.1);
    Send(R"({"message-id":"2","version":2})");
    EXPECT_EQ(client.RemoteVersion.load(), 0.0);
    Send(R"({"message-id":"1","mic-volume":0.25})");
    Send(R"({"desktop-muted": true, "mic-volume": 0.30000001192092896, "message-id": "4", "desktop-volume": 1.0, )"
         R"("mic-muted": "true"})");
    Send(R"({"message-id":"3","mic-volume":1,"mic-muted":1,"desktop-volume":1e-5})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:VersionRsp "1.10")", R"(OBSRemote:VersionRsp "0.00")",
                               R"(OBSRemote:VolumesRsp "0" "0.2500" "0" "0.0000")",
                               R"(OBSRemote:VolumesRsp "0" "0.3000" "1" "1.0000")",
                               R"(OBSRemote:VolumesRsp "0" "0.0000" "0" "0.0000")"}));
    EXPECT_DOUBLE_EQ(client.DesktopVolume.load(), 1e-5);
    EXPECT_FALSE(client.IsDesktopMuted.load());
}

// After a password demand, a version answer proves nothing (the plug-in serves it before
// authentication); each of the other answer kinds marks the client accepted, once.
TEST_F(Answers, PasswordDemandThenEachAcceptingAnswerKind)
{
    const char* demand = R"({"salt": "S", "status": "ok", "challenge": "C", "authRequired": true, "message-id": "2"})";
    for (const char* answer : {R"({"message-id":"3","streaming":false})", R"({"message-id":"4","mic-volume":0.5})",
                               R"({"message-id":"5","scenes":[],"current-scene":"A"})",
                               R"({"message-id":"6","sources":[],"name":"A"})"}) {
        host.Clear();
        Send(demand);
        EXPECT_FALSE(client.IsAuthenticated.load());
        EXPECT_EQ(client.AuthSalt.Get() + client.AuthChallenge.Get(), "SC");
        Send(R"({"message-id":"1","version":1.1})");
        EXPECT_FALSE(client.IsAuthenticated.load());
        Send(answer);
        Send(answer);
        EXPECT_TRUE(client.IsAuthenticated.load()) << answer;
        EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 1u) << answer;
        EXPECT_EQ(Events().at(2), "OBSRemote:AuthAccepted") << answer;
    }
}

// No password ("true" as text is no flag): the texts are cleared and no acceptance is raised.
// A demand without a salt or challenge text is dropped.
TEST_F(Answers, NoPasswordOrAnIncompleteDemand)
{
    client.AuthSalt.Set("old");
    client.AuthChallenge.Set("old");
    client.IsAuthenticated.store(false);
    Send(R"({"status": "ok", "authRequired": "true", "message-id": "2"})");
    EXPECT_TRUE(client.IsAuthenticated.load());
    EXPECT_TRUE(client.AuthSalt.Empty() && client.AuthChallenge.Empty());
    client.AuthSalt.Set("kept");
    client.HaveAuthInfo.store(false);
    Send(R"({"message-id":"2","authRequired":true,"challenge":"C"})");
    Send(R"({"message-id":"2","authRequired":true,"salt":"S","challenge":7})");
    Send(R"({"message-id":"3","streaming":false})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:AuthRequiredRsp "0")", R"(OBSRemote:StreamStatusRsp "0" "0")"}));
    EXPECT_FALSE(client.HaveAuthInfo.load());
    EXPECT_EQ(client.AuthSalt.Get(), "kept");
}

// Known scenes and sources keep their records (and first spelling) in place, new ones are
// appended, the rest are deleted; an empty or missing list empties the model.
TEST_F(Answers, SceneListKeepsKnownRecordsInPlace)
{
    Send(R"({"message-id":"1","current-scene":"intro","scenes":[)"
         R"({"name":"intro","sources":[{"name":"cam","x":1.0}]},{"name":"Game","sources":[]}]})");
    SceneInfo* intro = client.Model.FindScene("intro", false);
    SourceInfo* cam = SceneModel::SourceAt(intro, 0);
    uint64_t gameSerial = client.Model.FindScene("Game", false)->Serial;
    Send(R"({"message-id":"2","current-scene":"Outro","scenes":[)"
         R"({"name":"Outro"},{"name":"Intro","sources":[{"name":"CAM","y":2.0},{"name":"mic"}]}]})");
    Send(R"({"message-id":"3","name":"OUTRO","sources":[{"name":"logo","render":true,"cx":2.0}]})");
    EXPECT_EQ(client.Model.SceneAt(0), intro);
    EXPECT_EQ(SceneModel::SourceAt(intro, 0), cam);
    EXPECT_EQ(client.Model.SceneBySerial(gameSerial), nullptr);
    EXPECT_EQ(Model(), (Lines{R"(current "OUTRO")", R"(scene "intro")", R"(  source "cam" render=0 x=0 y=2 cx=0 cy=0)",
                              R"(  source "mic" render=0 x=0 y=0 cx=0 cy=0)", R"(scene "Outro")",
                              R"(  source "logo" render=1 x=0 y=0 cx=2 cy=0)"}));
    Send(R"({"status": "ok", "message-id": "5", "scenes": [], "current-scene": "A"})");
    EXPECT_EQ(client.Model.SceneCount(), 0u);
    Send(R"({"message-id":"1","current-scene":"A","scenes":[{"name":"A"}]})");
    Send(R"({"message-id":"1","current-scene":"A","scenes":{"name":"A"}})");
    EXPECT_EQ(client.Model.SceneCount(), 0u);
    const std::string list = "OBSRemote:SceneListRsp";
    EXPECT_EQ(Events(), (Lines{list, list, R"(OBSRemote:CurrentSceneRsp "OUTRO")", list, list, list}));
}

// Scripts on the host's thread that read the scene list wait until the event has been raised.
TEST_F(Answers, SceneListEventIsRaisedUnderTheListLock)
{
    struct LockProbeHost : RecordingHost {
        SceneModel* Model = nullptr;
        std::promise<void> Entered;
        std::thread Reader;
        bool EnteredDuringEvent = true;

        void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) override
        {
            RecordingHost::RaiseEvent(id, reserved, argc, argv, none);
            std::future<void> entered = Entered.get_future();
            Reader = std::thread([this] {
                CWinLock guard(&Model->ScenesLock);
                Entered.set_value();
            });
            EnteredDuringEvent = entered.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
        }
    } probe;
    probe.Model = &client.Model;
    AttachRecordingHost(probe, client);
    Send(R"({"message-id":"1","current-scene":"A","scenes":[{"name":"A"}]})");
    ASSERT_TRUE(probe.Reader.joinable());
    probe.Reader.join(); // the reader gets in once the answer is handled
    EXPECT_FALSE(probe.EnteredDuringEvent);
}

// Every message below lacks a name its handler needs or is not an object; none may change
// the client, the model or the authentication state, and none may raise an event.
TEST_F(Answers, MalformedMessagesChangeNothingAndRaiseNothing)
{
    Send(R"({"message-id":"1","current-scene":"Cur","scenes":[{"name":"Cur","sources":[{"name":"cam"}]}]})");
    client.IsAuthenticated.store(false);
    host.Clear();
    const Lines model = Model(), status = DumpStatus(client);
    // (Answers of this kind are in tests/cases/malformed_answers_dropped.)
    for (const char* message : {
             R"({"update-type":"SwitchScenes"})", R"({"update-type":"SwitchScenes","scene-name":{"a":1}})",
             R"({"update-type":"SourceChanged","source":{"name":"n"}})",
             R"({"update-type":"SourceChanged","source-name":"cam"})",
             R"({"update-type":"SourceChanged","source-name":"cam","source":{}})",
             R"({"update-type":"SourceChanged","source-name":"cam","source":["name","n"]})",
             R"({"update-type":"VolumeChanged","channel":1,"volume":0.5})", R"({"scene-name":"A"})",
             R"({"update-type":5})", R"({"update-type":"NoSuchUpdate"})", R"({"update-type":"StreamStarting "})",
             R"([{"update-type":"ScenesChanged"}])", R"([])", R"({})"}) {
        ASSERT_TRUE(Send(message)) << message;
        EXPECT_EQ(Model(), model) << message;
        EXPECT_EQ(DumpStatus(client), status) << message;
    }
    EXPECT_TRUE(Events().empty());
}

} // namespace
