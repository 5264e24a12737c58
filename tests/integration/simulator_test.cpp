// The OBS Remote simulator seen from the wire: transport, authentication and the
// plug-in's answers, driven by a bare WebSocket client so that every frame is visible.
#include <algorithm>
#include <gtest/gtest.h>

#include <jansson.h>

#include <chrono>
#include <string>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_auth.h"
#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_raw_client.h"

using namespace std::chrono_literals;

namespace {

const char* const Locked =
    "OBS Remote Locked: Maximum failed authentication attempts reached. Please Restart OBS to Unlock.";

SimJson Parse(const std::optional<std::string>& text)
{
    return SimJson(text ? json_loads(text->c_str(), 0, nullptr) : nullptr);
}

std::string Text(const SimJson& message, const char* key)
{
    json_t* value = json_object_get(message.get(), key);
    return json_is_string(value) ? json_string_value(value) : std::string("<absent>");
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Sim.Start(0)); }

    void Open(SimRawClient& client) { ASSERT_TRUE(client.Connect("127.0.0.1", Sim.Port())); }

    // Sends a request and reads the next text frame.
    static SimJson Ask(SimRawClient& client, const std::string& request)
    {
        EXPECT_TRUE(client.SendText(request));
        return Parse(client.ReadText());
    }

    static void Authenticate(SimRawClient& client, const std::string& password = "admin")
    {
        SimJson required = Ask(client, R"({"request-type":"GetAuthRequired","message-id":"a"})");
        std::string secret = SimHashText(password + Text(required, "salt"));
        SimJson answer = Ask(client, R"({"request-type":"Authenticate","auth":")"
                + SimExpectedAuth(secret, Text(required, "challenge")) + R"(","message-id":"b"})");
        ASSERT_EQ(Text(answer, "status"), "ok") << SimDump(answer.get());
    }

    // Answers and updates share one ordered queue per connection, so if the answer to a
    // fresh GetVersion is the next frame, nothing else was queued before it.
    static void ExpectNothingPending(SimRawClient& client)
    {
        SimJson next = Ask(client, R"({"request-type":"GetVersion","message-id":"sentinel"})");
        EXPECT_EQ(Text(next, "message-id"), "sentinel") << SimDump(next.get());
    }

    OBSSimulator Sim;
};

} // namespace

TEST(SimulatorHashing, MatchesKnownSha256Base64)
{
    EXPECT_EQ(SimHashText("abc"), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(SimRandomToken().size(), 44u);
    EXPECT_NE(SimRandomToken(), SimRandomToken());
}

TEST_F(SimulatorTest, AcceptsOnlyTheExactObsapiProtocol)
{
    SimRawClient client;
    EXPECT_FALSE(client.Connect("127.0.0.1", Sim.Port(), std::nullopt));
    EXPECT_FALSE(client.Connect("127.0.0.1", Sim.Port(), std::string("obsapi, chat")));
    EXPECT_FALSE(client.Connect("127.0.0.1", Sim.Port(), std::string("chat")));
    EXPECT_FALSE(client.Connect("127.0.0.1", Sim.Port(), std::string("http-only")));
    ASSERT_TRUE(client.Connect("127.0.0.1", Sim.Port(), std::string("obsapi")));
    EXPECT_NE(client.HandshakeAnswer().find("obsapi"), std::string::npos);
    // The handshake answer carries no compression extension.
    EXPECT_EQ(client.HandshakeAnswer().find("deflate"), std::string::npos);
    ASSERT_TRUE(Sim.WaitForConnectionCount(1, 5s));
    EXPECT_EQ(Sim.ConnectionsAccepted(), 1u);
}

TEST_F(SimulatorTest, ServesBothLoopbackFamiliesAndRefusesATakenPort)
{
    SimRawClient v4;
    Open(v4);
    if (Sim.ListensOnIPv6()) {
        SimRawClient v6;
        ASSERT_TRUE(v6.Connect("::1", Sim.Port()));
        EXPECT_EQ(Text(Ask(v6, R"({"request-type":"GetVersion","message-id":"6"})"), "status"), "ok");
    }
    OBSSimulator second;
    EXPECT_FALSE(second.Start(Sim.Port()));
    EXPECT_FALSE(Sim.Start(0)) << "already running";
}

TEST_F(SimulatorTest, FailsRequestedHandshakesAndClosesFromTheServerSide)
{
    Sim.FailNextHandshakes(1);
    SimRawClient client;
    EXPECT_FALSE(client.Connect("127.0.0.1", Sim.Port()));
    Open(client);
    SimRawClient other;
    Open(other);
    ASSERT_TRUE(Sim.WaitForConnectionCount(2, 5s));
    Sim.CloseAllConnections();
    EXPECT_EQ(client.WaitForClose(), 1001);
    EXPECT_EQ(other.WaitForClose(), 1001);
    EXPECT_TRUE(Sim.WaitForConnectionCount(0, 5s));

    Open(client);
    ASSERT_TRUE(Sim.WaitForConnectionCount(1, 5s));
    Sim.Stop();
    EXPECT_EQ(client.WaitForClose(), 1001);
    EXPECT_FALSE(Sim.IsRunning());
}

TEST_F(SimulatorTest, WritesInThePluginsFormatAndEchoesOnlyTextIds)
{
    SimRawClient client;
    Open(client);
    client.SendText(R"({"request-type":"GetVersion","message-id":"1"})");
    std::optional<std::string> version = client.ReadText();
    ASSERT_TRUE(version);
    EXPECT_NE(version->find("\"version\": 1.1000000000000001"), std::string::npos) << *version;
    EXPECT_NE(version->find("\"message-id\": \"1\""), std::string::npos) << *version;

    EXPECT_EQ(Text(Ask(client, R"({"request-type":"GetVersion","message-id":7})"), "message-id"), "<absent>");
    EXPECT_EQ(Text(Ask(client, R"({"request-type":"GetVersion"})"), "message-id"), "<absent>");
    SimJson unknown = Ask(client, R"({"request-type":"getversion","message-id":"x"})");
    EXPECT_EQ(Text(unknown, "error"), "message type not recognized");
    EXPECT_EQ(Text(unknown, "message-id"), "x");
    EXPECT_EQ(Text(Ask(client, R"({"message-id":"y"})"), "error"), "message type not specified");
    EXPECT_EQ(Text(Ask(client, R"([1,2])"), "error"), "message type not specified");
    EXPECT_EQ(Text(Ask(client, R"({"request-type":5})"), "error"), "message type not specified");

    // Text that does not parse gets no answer at all; trailing bytes after a whole object
    // are ignored.
    client.SendText("not json");
    client.SendText(R"({"request-type":"GetVersion","message-id":"bad)");
    client.SendText(R"({"request-type":"GetVersion","message-id":"\u0000"})");
    SimJson next = Ask(client, R"({"request-type":"GetVersion","message-id":"after"} trailing)");
    EXPECT_EQ(Text(next, "message-id"), "after");
}

TEST_F(SimulatorTest, HandlesAtMost4096BytesOfARequestAtOnce)
{
    SimRawClient client;
    Open(client);
    const std::string head = R"({"request-type":"GetVersion","message-id":"fits")";
    std::string fits = head + std::string(4096 - head.size() - 1, ' ') + "}";
    ASSERT_EQ(fits.size(), 4096u);
    EXPECT_EQ(Text(Ask(client, fits), "message-id"), "fits");

    std::string tooLong = R"({"request-type":"GetVersion","message-id":"lost")";
    tooLong += std::string(4097 - tooLong.size() - 1, ' ') + "}";
    client.SendText(tooLong);
    EXPECT_EQ(Text(Ask(client, R"({"request-type":"GetVersion","message-id":"next"})"), "message-id"), "next");
    std::vector<std::string> pieces = Sim.ReceivedOn(1);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[1].size(), 4096u);
    EXPECT_EQ(pieces[2], "}");

    // A request split over two frames is lost too: each piece is parsed alone.
    client.SendFrame(1, false, R"({"request-type":"GetVer)");
    client.SendFrame(0, true, R"(sion","message-id":"split"})");
    EXPECT_EQ(Text(Ask(client, R"({"request-type":"GetVersion","message-id":"last"})"), "message-id"), "last");
}

TEST_F(SimulatorTest, SendsABigSceneListAsOneFrame)
{
    SimSceneSet big;
    for (int s = 0; s < 200; ++s) {
        SimScene scene{"Scene " + std::to_string(s), {}};
        for (int i = 0; i < 20; ++i)
            scene.Sources.push_back({"Source " + std::to_string(s) + "." + std::to_string(i), 0.5f, 1.0f, 1280, 720, true});
        big.Scenes.push_back(scene);
    }
    big.CurrentScene = "Scene 7";
    Sim.ReplaceScenes(big);
    Sim.SetAuth(false, "");

    SimRawClient client;
    Open(client);
    client.SendText(R"({"request-type":"GetSceneList","message-id":"big"})");
    std::optional<SimRawClient::Frame> frame = client.ReadFrame(20s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->Opcode, 1);
    EXPECT_TRUE(frame->Fin);
    EXPECT_FALSE(frame->Rsv);
    EXPECT_GT(frame->Payload.size(), 300000u);
    SimJson list = Parse(frame->Payload);
    ASSERT_TRUE(list);
    EXPECT_EQ(Text(list, "current-scene"), "Scene 7");
    json_t* scenes = json_object_get(list.get(), "scenes");
    ASSERT_EQ(json_array_size(scenes), 200u);
    json_t* last = json_array_get(json_object_get(json_array_get(scenes, 199), "sources"), 19);
    EXPECT_STREQ(json_string_value(json_object_get(last, "name")), "Source 199.19");
    EXPECT_DOUBLE_EQ(json_real_value(json_object_get(last, "x")), 0.5);

    // A reader that takes the bytes slowly still gets each list whole, one after the
    // other, with an update queued in between kept apart.
    SimRawClient slow;
    slow.SetReceiveBuffer(4096);
    ASSERT_TRUE(slow.Connect("127.0.0.1", Sim.Port()));
    slow.SendText(R"({"request-type":"GetSceneList","message-id":"1"})");
    slow.SendText(R"({"request-type":"SetCurrentScene","scene-name":"Scene 9"})");
    slow.SendText(R"({"request-type":"GetSceneList","message-id":"2"})");
    // Answers keep request order; the switch's update may land before or after the second
    // list, as with the real plug-in, whose OBS-side actions run later than the answer.
    std::vector<std::string> ids;
    for (int i = 0; i < 4; ++i) {
        std::optional<SimRawClient::Frame> piece = slow.ReadFrame(20s);
        ASSERT_TRUE(piece);
        EXPECT_TRUE(piece->Fin);
        SimJson message = Parse(piece->Payload);
        ASSERT_TRUE(message) << piece->Payload.substr(0, 200);
        ids.push_back(Text(message, "message-id"));
    }
    ASSERT_EQ(ids.front(), "1");
    std::vector<std::string> rest(ids.begin() + 1, ids.end());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"2", "<absent>", "<absent>"}));
}

TEST_F(SimulatorTest, GuardsRequestsAndUpdatesUntilAuthenticated)
{
    SimRawClient client;
    Open(client);
    EXPECT_EQ(Text(Ask(client, R"({"request-type":"GetSceneList","message-id":"1"})"), "error"), "Not Authenticated");
    EXPECT_EQ(Text(Ask(client, R"({"request-type":"SetCurrentScene","scene-name":"Game"})"), "error"),
        "Not Authenticated");
    EXPECT_EQ(Sim.Scenes().CurrentScene, "Intro");

    SimRawClient authenticated;
    Open(authenticated);
    Authenticate(authenticated);
    ASSERT_TRUE(Sim.SwitchScene("game"));
    EXPECT_EQ(Text(Parse(authenticated.ReadText()), "scene-name"), "Game");
    ExpectNothingPending(client);

    Authenticate(client);
    SimJson list = Ask(client, R"({"request-type":"GetSceneList","message-id":"2"})");
    EXPECT_EQ(Text(list, "current-scene"), "Game");
    // Authentication belongs to the connection, not to the client's address.
    SimRawClient again;
    Open(again);
    EXPECT_EQ(Text(Ask(again, R"({"request-type":"GetVolumes"})"), "error"), "Not Authenticated");
}

TEST_F(SimulatorTest, IssuesOneSaltAndAFreshChallengePerConnection)
{
    SimRawClient first;
    SimRawClient second;
    Open(first);
    Open(second);
    SimJson a1 = Ask(first, R"({"request-type":"GetAuthRequired"})");
    SimJson a2 = Ask(first, R"({"request-type":"GetAuthRequired"})");
    SimJson b = Ask(second, R"({"request-type":"GetAuthRequired"})");
    EXPECT_TRUE(json_is_true(json_object_get(a1.get(), "authRequired")));
    EXPECT_EQ(Text(a1, "salt").size(), 44u);
    EXPECT_EQ(Text(a1, "challenge").size(), 44u);
    EXPECT_EQ(Text(a1, "salt"), Text(b, "salt"));
    EXPECT_EQ(Text(a1, "challenge"), Text(a2, "challenge"));
    EXPECT_NE(Text(a1, "challenge"), Text(b, "challenge"));

    // An answer made for another connection's challenge fails there.
    std::string secret = SimHashText("admin" + Text(a1, "salt"));
    SimJson wrong = Ask(second, R"({"request-type":"Authenticate","auth":")"
            + SimExpectedAuth(secret, Text(a1, "challenge")) + "\"}");
    EXPECT_EQ(Text(wrong, "error"), "Authentication Failed. Attempts Remaining: 9");
}

TEST_F(SimulatorTest, CountsFailuresGloballyAndLocksAfterTen)
{
    SimRawClient first;
    SimRawClient second;
    Open(first);
    Open(second);
    const std::string bad = R"({"request-type":"Authenticate","auth":"AAAA"})";
    EXPECT_EQ(Text(Ask(first, R"({"request-type":"Authenticate"})"), "error"), "auth not specified!");
    EXPECT_EQ(Text(Ask(first, R"({"request-type":"Authenticate","auth":1})"), "error"), "auth not specified!");
    EXPECT_EQ(Text(Ask(first, bad), "error"), "Authentication Failed. Attempts Remaining: 9");
    EXPECT_EQ(Text(Ask(second, bad), "error"), "Authentication Failed. Attempts Remaining: 8");
    Authenticate(second);
    EXPECT_EQ(Sim.FailedAuthAttempts(), 0) << "a success resets the counter";

    for (int remaining = 9; remaining >= 1; --remaining)
        EXPECT_EQ(Text(Ask(first, bad), "error"), "Authentication Failed. Attempts Remaining: " + std::to_string(remaining));
    EXPECT_EQ(Text(Ask(first, bad), "error"), Locked);
    SimJson required = Ask(first, R"({"request-type":"GetAuthRequired"})");
    std::string right = SimExpectedAuth(SimHashText("admin" + Text(required, "salt")), Text(required, "challenge"));
    const std::string good = R"({"request-type":"Authenticate","auth":")" + right + "\"}";
    EXPECT_EQ(Text(Ask(first, good), "error"), Locked);
    // A locked plug-in leaves an authenticated connection as it was.
    EXPECT_EQ(Text(Ask(second, R"({"request-type":"GetVolumes"})"), "status"), "ok");

    Sim.ResetFailedAuthAttempts();
    EXPECT_EQ(Text(Ask(first, good), "status"), "ok");
}

TEST(SimulatorWithoutAuth, ServesEverythingAndSendsUpdatesToAll)
{
    OBSSimulatorOptions options;
    options.UseAuth = false;
    OBSSimulator sim(options);
    ASSERT_TRUE(sim.Start(0));
    SimRawClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", sim.Port()));
    client.SendText(R"({"request-type":"GetAuthRequired","message-id":"1"})");
    std::optional<std::string> answer = client.ReadText();
    ASSERT_TRUE(answer);
    SimJson required = Parse(answer);
    EXPECT_TRUE(json_is_false(json_object_get(required.get(), "authRequired")));
    EXPECT_EQ(json_object_get(required.get(), "salt"), nullptr);
    EXPECT_EQ(Text(Parse(client.ReadText(0ms).value_or("{}")), "status"), "<absent>");

    client.SendText(R"({"request-type":"GetCurrentScene","message-id":"2"})");
    EXPECT_EQ(Text(Parse(client.ReadText()), "name"), "Intro");
    ASSERT_TRUE(sim.StartStream(false));
    SimJson starting = Parse(client.ReadText());
    EXPECT_EQ(Text(starting, "update-type"), "StreamStarting");
    // Even with no password, a wrong Authenticate counts as a failure.
    client.SendText(R"({"request-type":"Authenticate","auth":"x"})");
    EXPECT_EQ(Text(Parse(client.ReadText()), "error"), "Authentication Failed. Attempts Remaining: 9");
}
