// Routing of received messages and the handling of answers, driven through DispatchMessage.
// The plug-in's own wire texts run as data cases in tests/cases; these check what a dump
// cannot show: record identity, lock holding, the authentication state between answers.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

class Answers : public ::testing::Test, protected MessageHarness {};

using Routing = Answers;

TEST_F(Routing, KeyPresenceNotValueDecides)
{
    Send(R"({"message-id":"1","streaming":null})");
    Send(R"({"message-id":"2","version":"1.1"})");
    Send(R"({"message-id":"3","status":"ok","authRequired":null})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStatusRsp "0" "0")", R"(OBSRemote:VersionRsp "0.00")",
                               R"(OBSRemote:AuthRequiredRsp "0")"}));
}

TEST_F(Routing, AnswersWithoutAKnownKeyAndNonObjectsAreIgnored)
{
    Send(R"({"message-id":"7","status":"ok"})");
    Send(R"([{"message-id":"1","version":1.1}])");
    Send(R"(["update-type","ScenesChanged"])");
    Send(R"({"message-id":"8","status":"errors","error":"not an error status"})");
    EXPECT_TRUE(Events().empty());
    // Parsing stops after the first value, as the session parses.
    Send(R"({"message-id":"9","version":1.5} {"message-id":"10","version":2.5})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:VersionRsp "1.50")"}));
}

TEST_F(Routing, NonStringStatusDoesNotHideTheOtherKeys)
{
    Send(R"({"message-id":"1","status":5,"version":1.25})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:VersionRsp "1.25")"}));
}

using NumberRules = Answers;

TEST_F(NumberRules, VersionIsARealAndFormattedWithTwoDecimals)
{
    Send(R"({"version": 1.1000000000000001, "status": "ok", "message-id": "1"})");
    EXPECT_TRUE(client.HaveVersion.load());
    EXPECT_DOUBLE_EQ(client.RemoteVersion.load(), 1.1);
    Send(R"({"message-id":"2","version":2})");
    EXPECT_EQ(client.RemoteVersion.load(), 0.0);
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:VersionRsp "1.10")", R"(OBSRemote:VersionRsp "0.00")"}));
}

TEST_F(NumberRules, VolumesReadRealsAndOnlyTrueFlags)
{
    Send(R"({"message-id":"1","mic-volume":0.25})");
    Send(R"({"desktop-muted": true, "status": "ok", "mic-volume": 0.30000001192092896, "message-id": "4", )"
         R"("desktop-volume": 1.0, "mic-muted": "true"})");
    Send(R"({"message-id":"3","mic-volume":1,"mic-muted":1,"desktop-volume":1e-5})");
    EXPECT_EQ(Events(), (Lines{
                            R"(OBSRemote:VolumesRsp "0" "0.2500" "0" "0.0000")",
                            R"(OBSRemote:VolumesRsp "0" "0.3000" "1" "1.0000")",
                            R"(OBSRemote:VolumesRsp "0" "0.0000" "0" "0.0000")",
                        }));
    EXPECT_TRUE(client.HaveVolumes.load());
    EXPECT_DOUBLE_EQ(client.DesktopVolume.load(), 1e-5);
    EXPECT_FALSE(client.IsDesktopMuted.load());
}

using AuthAnswers = Answers;

TEST_F(AuthAnswers, PasswordDemandThenFirstAcceptingAnswer)
{
    Send(R"({"salt": "S", "status": "ok", "challenge": "C", "authRequired": true, "message-id": "2"})");
    EXPECT_TRUE(client.HaveAuthInfo.load());
    EXPECT_FALSE(client.IsAuthenticated.load());
    EXPECT_EQ(client.AuthSalt.Get(), "S");
    EXPECT_EQ(client.AuthChallenge.Get(), "C");

    Send(R"({"message-id":"1","version":1.1})"); // served before authentication: proves nothing
    EXPECT_FALSE(client.IsAuthenticated.load());
    Send(R"({"message-id":"3","streaming":false})");
    Send(R"({"message-id":"4","mic-volume":0.5})");
    EXPECT_TRUE(client.IsAuthenticated.load());
    EXPECT_EQ(Events(), (Lines{
                            R"(OBSRemote:AuthRequiredRsp "1")",
                            R"(OBSRemote:VersionRsp "1.10")",
                            "OBSRemote:AuthAccepted",
                            R"(OBSRemote:StreamStatusRsp "0" "0")",
                            R"(OBSRemote:VolumesRsp "0" "0.5000" "0" "0.0000")",
                        }));
}

// On a new connection the kept secret answers the connection's own challenge at once.
TEST_F(AuthAnswers, DemandOnAConnectionWithAKeptSecretAuthenticatesAgain)
{
    client.State.store(Ready);
    client.AuthSecret.Set("secret");
    client.AuthSecretSalt.Set("S");
    Send(R"({"salt": "S", "status": "ok", "challenge": "C", "authRequired": true, "message-id": "2"})");
    std::deque<std::string> queue;
    {
        CSectionGuard guard(&client.Session.SendLock);
        queue.swap(client.Session.SendQueue);
    }
    ASSERT_EQ(queue.size(), 5u);
    EXPECT_NE(queue[0].find("\"request-type\":\"Authenticate\""), std::string::npos);
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:AuthRequiredRsp "1")"}));
    client.State.store(Disconnected);
}

TEST_F(AuthAnswers, EachAcceptingAnswerKindMarksTheClient)
{
    const char* answers[] = {
        R"({"message-id":"1","streaming":false})",
        R"({"message-id":"1","scenes":[],"current-scene":"A"})",
        R"({"message-id":"1","sources":[],"name":"A"})",
        R"({"message-id":"1","mic-volume":0.5})",
    };
    for (const char* answer : answers) {
        client.IsAuthenticated.store(false);
        host.Clear();
        Send(answer);
        EXPECT_TRUE(client.IsAuthenticated.load()) << answer;
        ASSERT_EQ(Events().size(), 2u) << answer;
        EXPECT_EQ(Events()[0], "OBSRemote:AuthAccepted") << answer;
    }
}

TEST_F(AuthAnswers, NoPasswordClearsTheTextsAndNeverAccepts)
{
    client.AuthSalt.Set("old");
    client.AuthChallenge.Set("old");
    client.IsAuthenticated.store(false);
    Send(R"({"status": "ok", "authRequired": "true", "message-id": "2"})");
    EXPECT_TRUE(client.IsAuthenticated.load());
    EXPECT_TRUE(client.AuthSalt.Empty());
    EXPECT_TRUE(client.AuthChallenge.Empty());
    Send(R"({"message-id":"3","streaming":false})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:AuthRequiredRsp "0")", R"(OBSRemote:StreamStatusRsp "0" "0")"}));
}

TEST_F(AuthAnswers, DemandWithoutSaltOrChallengeIsDropped)
{
    client.AuthSalt.Set("kept");
    Send(R"({"message-id":"2","authRequired":true,"challenge":"C"})");
    Send(R"({"message-id":"2","authRequired":true,"salt":"S","challenge":7})");
    EXPECT_TRUE(Events().empty());
    EXPECT_FALSE(client.HaveAuthInfo.load());
    EXPECT_TRUE(client.IsAuthenticated.load());
    EXPECT_EQ(client.AuthSalt.Get(), "kept");
}

using SceneAnswers = Answers;

TEST_F(SceneAnswers, SceneListKeepsKnownScenesInPlaceAndAppendsNewOnes)
{
    Send(R"({"message-id":"1","current-scene":"intro","scenes":[)"
         R"({"name":"intro","sources":[{"name":"cam","x":1.0}]},{"name":"Game","sources":[]}]})");
    SceneInfo* intro = client.Model.FindScene("intro", false);
    uint64_t gameSerial = client.Model.FindScene("Game", false)->Serial;
    Send(R"({"message-id":"2","current-scene":"Outro","scenes":[)"
         R"({"name":"Outro"},{"name":"Intro","sources":[{"name":"CAM","y":2.0},{"name":"mic"}]}]})");
    EXPECT_EQ(client.Model.SceneAt(0), intro);
    EXPECT_EQ(client.Model.SceneBySerial(gameSerial), nullptr);
    EXPECT_EQ(Model(), (Lines{
                           R"(current "Outro")",
                           R"(scene "intro")",
                           R"(  source "cam" render=0 x=0 y=2 cx=0 cy=0)",
                           R"(  source "mic" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(scene "Outro")",
                       }));
    EXPECT_EQ(Events(), (Lines{"OBSRemote:SceneListRsp", "OBSRemote:SceneListRsp"}));
}

TEST_F(SceneAnswers, EmptyOrMissingSceneListEmptiesTheModel)
{
    Send(R"({"message-id":"1","current-scene":"A","scenes":[{"name":"A"}]})");
    Send(R"({"status": "ok", "message-id": "5", "scenes": [], "current-scene": "A"})");
    EXPECT_EQ(client.Model.SceneCount(), 0u);
    Send(R"({"message-id":"1","current-scene":"A","scenes":[{"name":"A"}]})");
    Send(R"({"message-id":"1","current-scene":"A","scenes":{"name":"A"}})");
    EXPECT_EQ(client.Model.SceneCount(), 0u);
    EXPECT_EQ(host.CountEvents("OBSRemote:SceneListRsp"), 4u);
}

// Scripts on the host's thread that read the scene list wait until the event has been raised.
TEST_F(SceneAnswers, SceneListEventIsRaisedUnderTheListLock)
{
    struct LockProbeHost : RecordingHost {
        SceneModel* Model = nullptr;
        std::mutex Mutex;
        std::condition_variable Changed;
        bool ReaderEntered = false;
        bool EnteredDuringEvent = true;
        std::thread Reader;

        void RaiseEvent(EventId id, int32_t reserved, int32_t argc, const char* const* argv, void* none) override
        {
            RecordingHost::RaiseEvent(id, reserved, argc, argv, none);
            Reader = std::thread([this] {
                CSectionGuard guard(&Model->ScenesLock);
                std::lock_guard<std::mutex> lock(Mutex);
                ReaderEntered = true;
                Changed.notify_all();
            });
            std::unique_lock<std::mutex> lock(Mutex);
            EnteredDuringEvent = Changed.wait_for(lock, std::chrono::milliseconds(200), [this] { return ReaderEntered; });
        }
    };
    LockProbeHost probe;
    probe.Model = &client.Model;
    AttachRecordingHost(probe, client);
    Send(R"({"message-id":"1","current-scene":"A","scenes":[{"name":"A"}]})");
    ASSERT_TRUE(probe.Reader.joinable());
    probe.Reader.join();
    EXPECT_FALSE(probe.EnteredDuringEvent);
    EXPECT_TRUE(probe.ReaderEntered);
}

TEST_F(SceneAnswers, CurrentSceneCreatesAndPopulatesTheScene)
{
    Send(R"({"message-id":"1","current-scene":"Game","scenes":[{"name":"Game"}]})");
    Send(R"({"sources": [{"render": true, "cy": 720.0, "x": 0.0, "name": "src", "cx": 1280.0, "y": 0.0}], )"
         R"("status": "ok", "name": "INTRO", "message-id": "6"})");
    EXPECT_EQ(Model(), (Lines{
                           R"(current "INTRO")",
                           R"(scene "Game")",
                           R"(scene "INTRO")",
                           R"(  source "src" render=1 x=0 y=0 cx=1280 cy=720)",
                       }));
    Send(R"({"message-id":"2","name":"game","sources":[]})");
    EXPECT_EQ(client.Model.FindScene("Game", false)->Name, "Game");
    EXPECT_EQ(Events(), (Lines{"OBSRemote:SceneListRsp", R"(OBSRemote:CurrentSceneRsp "INTRO")",
                               R"(OBSRemote:CurrentSceneRsp "game")"}));
}

// Every message below lacks a name its handler needs or is not an object; none may change
// the client, the model or the authentication state, and none may raise an event.
TEST(MalformedMessages, ChangeNothingAndRaiseNothing)
{
    const char* messages[] = {
        R"({"message-id":"1","scenes":[{"name":"X"}]})",
        R"({"message-id":"1","scenes":[{"name":"X"}],"current-scene":5})",
        R"({"message-id":"1","sources":[{"name":"x"}]})",
        R"({"message-id":"1","sources":[{"name":"x"}],"name":["A"]})",
        R"({"update-type":"SwitchScenes"})",
        R"({"update-type":"SwitchScenes","scene-name":{"a":1}})",
        R"({"update-type":"SourceChanged","source":{"name":"n"}})",
        R"({"update-type":"SourceChanged","source-name":"cam"})",
        R"({"update-type":"SourceChanged","source-name":"cam","source":{}})",
        R"({"update-type":"SourceChanged","source-name":"cam","source":["name","n"]})",
        R"({"update-type":"VolumeChanged","volume":0.5,"muted":true})",
        R"({"update-type":"VolumeChanged","channel":1,"volume":0.5})",
        R"({"update-type":5})",
        R"({"update-type":"NoSuchUpdate"})",
        R"({"update-type":"StreamStarting "})",
        R"({"scene-name":"A"})",
        R"([{"update-type":"ScenesChanged"}])",
        R"([])",
        R"({})",
    };
    MessageHarness h;
    h.Send(R"({"message-id":"1","current-scene":"Cur","scenes":[{"name":"Cur","sources":[{"name":"cam"}]}]})");
    h.client.IsAuthenticated.store(false);
    h.host.Clear();
    Lines model = h.Model();
    Lines status = DumpStatus(h.client);
    for (const char* message : messages) {
        ASSERT_TRUE(h.Send(message)) << message;
        EXPECT_EQ(h.Model(), model) << message;
        EXPECT_EQ(DumpStatus(h.client), status) << message;
    }
    EXPECT_TRUE(h.Events().empty());
}

} // namespace
