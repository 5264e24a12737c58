// The OBS Remote simulator seen from the wire: transport, authentication and the
// plug-in's answers, and what OBS does behind it (scene switches, source order and render
// state, streaming, volumes, and the updates each change sends), driven by a bare WebSocket
// client so that every frame is visible.
#include <gtest/gtest.h>

#include <jansson.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_auth.h"
#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_raw_client.h"

using namespace std::chrono_literals;

namespace {

SimJson Parse(const std::optional<std::string>& text) { return SimJson(text ? json_loads(text->c_str(), 0, nullptr) : nullptr); }

std::string Text(const SimJson& message, const char* key)
{
    json_t* value = json_object_get(message.get(), key);
    return json_is_string(value) ? json_string_value(value) : std::string("<absent>");
}

const std::string Failed = "Authentication Failed. Attempts Remaining: ";

// Sends a request and reads the next text frame.
SimJson Ask(SimRawClient& client, const std::string& request) { return Parse(client.SendText(request) ? client.ReadText() : std::nullopt); }

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Sim.Start(0)); }

    void Open(SimRawClient& client) { ASSERT_TRUE(client.Connect("127.0.0.1", Sim.Port())); }

    // The Authenticate request answering this connection's challenge.
    static std::string GoodAuth(SimRawClient& client)
    {
        SimJson required = Ask(client, R"({"request-type":"GetAuthRequired"})");
        std::string secret = SimHashText("admin" + Text(required, "salt"));
        return R"({"request-type":"Authenticate","auth":")" + SimExpectedAuth(secret, Text(required, "challenge")) + "\"}";
    }

    OBSSimulator Sim;
    SimRawClient A;
    SimRawClient B;
};

bool Flag(const SimJson& message, const char* key) { return json_is_true(json_object_get(message.get(), key)); }
double Number(const SimJson& message, const char* key) { return json_real_value(json_object_get(message.get(), key)); }

class SimulatedObsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // OBS-side changes reach only connections the server has taken in.
        ASSERT_TRUE(Sim.Start(0) && Client.Connect("127.0.0.1", Sim.Port()) &&
            Sim.WaitForConnectionCount(1, std::chrono::seconds(5)));
    }

    // The answer to a request; Next() then reads the updates it caused, in order.
    SimJson Ask(const std::string& request) { return Client.SendText(request) ? Next() : SimJson(nullptr); }
    SimJson Next() { return Parse(Client.ReadText()); }
    std::string Status(const std::string& request) { return Text(Ask(request), "status"); }

    // Answers and updates share one ordered queue, so nothing else was queued if the
    // next frame answers a fresh request.
    void ExpectNothingPending() { EXPECT_EQ(Text(Ask(R"({"request-type":"GetVersion","message-id":"s"})"), "message-id"), "s"); }

    OBSSimulator Sim{[] {
        OBSSimulatorOptions options;
        options.UseAuth = false;
        options.StatusInterval = std::chrono::hours(1); // tests send StreamStatus themselves
        return options;
    }()};
    SimRawClient Client;
};

} // namespace

TEST_F(SimulatorTest, AcceptsOnlyTheExactObsapiProtocol)
{
    for (const char* refused : {static_cast<const char*>(nullptr), "obsapi, chat", "chat"})
        EXPECT_FALSE(A.Connect("127.0.0.1", Sim.Port(), refused ? std::optional<std::string>(refused) : std::nullopt));
    ASSERT_TRUE(A.Connect("127.0.0.1", Sim.Port(), std::string("obsapi")));
    EXPECT_NE(A.HandshakeAnswer().find("obsapi"), std::string::npos);
    EXPECT_EQ(A.HandshakeAnswer().find("deflate"), std::string::npos) << "no compression extension";
}

TEST_F(SimulatorTest, WritesInThePluginsFormatAndEchoesOnlyTextIds)
{
    Open(A);
    A.SendText(R"({"request-type":"GetVersion","message-id":"1"})");
    const std::string version = A.ReadText().value_or("");
    EXPECT_NE(version.find("\"version\": 1.1000000000000001"), std::string::npos) << version;

    const std::pair<std::string, std::string> cases[] = { // request, then "error|message-id" of the answer
        {R"({"request-type":"GetVersion","message-id":7})", "<absent>|<absent>"},
        {R"({"request-type":"getversion","message-id":"x"})", "message type not recognized|x"},
        {R"({"message-id":"y"})", "message type not specified|y"},
        {R"({"request-type":5})", "message type not specified|<absent>"},
    };
    for (const auto& [request, wanted] : cases) {
        SimJson answer = Ask(A, request);
        EXPECT_EQ(Text(answer, "error") + "|" + Text(answer, "message-id"), wanted) << request;
    }
    // Text that does not parse gets no answer at all; trailing bytes after a whole object
    // are ignored.
    A.SendText("not json");
    A.SendText(R"({"request-type":"GetVersion","message-id":"\u0000"})");
    EXPECT_EQ(Text(Ask(A, R"({"request-type":"GetVersion","message-id":"after"} trailing)"), "message-id"), "after");
}

TEST_F(SimulatorTest, HandlesAtMost4096BytesOfARequestAtOnce)
{
    Open(A);
    auto padded = [](const std::string& id, size_t size) {
        std::string request = R"({"request-type":"GetVersion","message-id":")" + id + "\"";
        return request + std::string(size - request.size() - 1, ' ') + "}";
    };
    EXPECT_EQ(Text(Ask(A, padded("fits", 4096)), "message-id"), "fits");
    A.SendText(padded("lost", 4097));
    EXPECT_EQ(Text(Ask(A, R"({"request-type":"GetVersion","message-id":"next"})"), "message-id"), "next");
    ASSERT_EQ(Sim.ReceivedOn(1).size(), 4u);
    EXPECT_EQ(Sim.ReceivedOn(1)[1].size(), 4096u) << "the first 4096 bytes are parsed alone";
    // A request split over two frames is lost too: each piece is parsed alone.
    A.SendFrame(1, false, R"({"request-type":"GetVer)");
    A.SendFrame(0, true, R"(sion","message-id":"split"})");
    EXPECT_EQ(Text(Ask(A, R"({"request-type":"GetVersion","message-id":"last"})"), "message-id"), "last");
}

TEST_F(SimulatorTest, SendsABigSceneListAsOneFrameEvenToASlowReader)
{
    SimSceneSet big;
    for (int s = 0; s < 200; ++s)
        big.Scenes.push_back({"Scene " + std::to_string(s), std::vector<SimSource>(20, {"Source", 0.5f, 1.0f, 1280, 720, true})});
    Sim.ReplaceScenes(big);
    Sim.SetAuth(false, "");
    // Partial sends keep each list whole and apart from an update queued in between.
    // Answers keep request order; the switch's update may land before or after the second
    // list, as with the real plug-in, whose OBS-side actions run later than the answer.
    A.SetReceiveBuffer(4096);
    Open(A);
    A.SendText(R"({"request-type":"GetSceneList","message-id":"1"})");
    A.SendText(R"({"request-type":"SetCurrentScene","scene-name":"Scene 9"})");
    A.SendText(R"({"request-type":"GetSceneList","message-id":"2"})");
    std::vector<std::string> ids;
    for (int i = 0; i < 4; ++i) {
        std::optional<SimRawClient::Frame> piece = A.ReadFrame(20s);
        ASSERT_TRUE(piece && piece->Opcode == 1 && piece->Fin && !piece->Rsv);
        SimJson message = Parse(piece->Payload);
        ASSERT_TRUE(message) << piece->Payload.substr(0, 200);
        ids.push_back(Text(message, "message-id") + ":" + std::to_string(json_array_size(json_object_get(message.get(), "scenes"))));
    }
    std::sort(ids.begin() + 1, ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"1:200", "2:200", "<absent>:0", "<absent>:0"}));
}

TEST_F(SimulatorTest, GuardsRequestsAndUpdatesUntilAuthenticated)
{
    Open(A);
    Open(B);
    // Authentication belongs to the connection, not to the client's address.
    EXPECT_EQ(Text(Ask(B, GoodAuth(B)), "status"), "ok");
    EXPECT_EQ(Text(Ask(A, R"({"request-type":"GetSceneList","message-id":"1"})"), "error"), "Not Authenticated");
    EXPECT_EQ(Text(Ask(A, R"({"request-type":"SetCurrentScene","scene-name":"Game"})"), "error"), "Not Authenticated");
    EXPECT_EQ(Sim.Scenes().CurrentScene, "Intro");
    ASSERT_TRUE(Sim.SwitchScene("game"));
    EXPECT_EQ(Text(Parse(B.ReadText()), "scene-name"), "Game");
    // Answers and updates share one ordered queue per connection, so no update went to
    // the unauthenticated connection if the next frame answers a fresh request.
    EXPECT_EQ(Text(Ask(A, R"({"request-type":"GetVersion","message-id":"next"})"), "message-id"), "next");
}

TEST_F(SimulatorTest, ChallengesPerConnectionAndLocksAfterTenFailuresOnAnyConnection)
{
    Open(A);
    Open(B);
    SimJson a1 = Ask(A, R"({"request-type":"GetAuthRequired"})");
    SimJson a2 = Ask(A, R"({"request-type":"GetAuthRequired"})");
    SimJson b = Ask(B, R"({"request-type":"GetAuthRequired"})");
    EXPECT_EQ(Text(a1, "salt"), Text(b, "salt"));
    EXPECT_EQ(Text(a1, "challenge"), Text(a2, "challenge"));
    EXPECT_NE(Text(a1, "challenge"), Text(b, "challenge"));
    // An answer made for another connection's challenge fails there, and failures count
    // across connections.
    std::string secret = SimHashText("admin" + Text(a1, "salt"));
    EXPECT_EQ(Text(Ask(B, R"({"request-type":"Authenticate","auth":")" + SimExpectedAuth(secret, Text(a1, "challenge")) + "\"}"),
                  "error"), Failed + "9");
    const std::string bad = R"({"request-type":"Authenticate","auth":"AAAA"})";
    EXPECT_EQ(Text(Ask(A, bad), "error"), Failed + "8");
    EXPECT_EQ(Text(Ask(B, GoodAuth(B)), "status"), "ok");
    EXPECT_EQ(Sim.FailedAuthAttempts(), 0) << "a success resets the counter";

    for (int remaining = 9; remaining >= 1; --remaining)
        EXPECT_EQ(Text(Ask(A, bad), "error"), Failed + std::to_string(remaining));
    const std::string good = GoodAuth(A);
    for (const std::string& request : {bad, good})
        EXPECT_EQ(Text(Ask(A, request), "error"),
            "OBS Remote Locked: Maximum failed authentication attempts reached. Please Restart OBS to Unlock.");
    EXPECT_EQ(Text(Ask(B, R"({"request-type":"GetVolumes"})"), "status"), "ok") << "sessions already in stay";
    Sim.ResetFailedAuthAttempts();
    EXPECT_EQ(Text(Ask(A, good), "status"), "ok");
}

// A client that leaves while a later one stays: the later one is still heard, and so is
// one that connects after that.
TEST_F(SimulatorTest, KeepsServingTheOthersWhenAnEarlierConnectionEnds)
{
    Open(A);
    Open(B);
    ASSERT_TRUE(Sim.WaitForConnectionCount(2, 10s));
    A.Close();
    ASSERT_TRUE(Sim.WaitForConnectionCount(1, 10s));
    EXPECT_EQ(Text(Ask(B, R"({"request-type":"GetVersion"})"), "status"), "ok");
    SimRawClient C;
    Open(C);
    EXPECT_EQ(Text(Ask(C, R"({"request-type":"GetVersion"})"), "status"), "ok");
    EXPECT_EQ(Text(Ask(B, R"({"request-type":"GetVersion"})"), "status"), "ok");
}

TEST_F(SimulatedObsTest, SwitchesScenesIgnoringCaseAndEchoesTheRequestedSpelling)
{
    EXPECT_EQ(Status(R"({"request-type":"SetCurrentScene","scene-name":"gAME","message-id":"1"})"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type") + " " + Text(update, "scene-name"), "SwitchScenes gAME");
    EXPECT_EQ(Text(Ask(R"({"request-type":"GetCurrentScene"})"), "name"), "Game");
    // Unknown, current and non-text names change nothing and send no update.
    for (const char* name : {R"("Nowhere")", R"("GAME")", "7"})
        EXPECT_EQ(Status(R"({"request-type":"SetCurrentScene","scene-name":)" + std::string(name) + "}"), "ok") << name;
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, MovesListedSourcesToTheBottomOfTheCurrentScene)
{
    // Intro holds Logo, Countdown; add a third so a partial list shows the rule.
    ASSERT_TRUE(Sim.AddSource({"Clock", 0, 0, 100, 50, true}));
    EXPECT_EQ(Text(Next(), "update-type"), "RepopulateSources");
    EXPECT_EQ(Status(R"({"request-type":"SetSourceOrder","scene-names":["Logo","nobody","clock"]})"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type") + " " + SimDump(json_object_get(update.get(), "sources")),
        R"(SourceOrderChanged ["Countdown", "Clock", "Logo"])");
    EXPECT_EQ(Status(R"({"request-type":"SetSourceOrder","scene-names":"Logo"})"), "ok");
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, ChangesRenderStateOnlyOnRealChanges)
{
    EXPECT_EQ(Status(R"({"request-type":"SetSourceRender","source":"Logo","render":false})"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type") + " " + Text(update, "source-name"), "SourceChanged Logo");
    EXPECT_TRUE(json_is_false(json_object_get(json_object_get(update.get(), "source"), "render")));
    EXPECT_EQ(Status(R"({"request-type":"SetSourceRender","source":"logo","render":false})"), "ok");
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, TogglesStreamingAndPreview)
{
    EXPECT_EQ(Status(R"({"request-type":"StartStopStreaming","preview-only":"true"})"), "ok");
    SimJson starting = Next();
    EXPECT_EQ(Text(starting, "update-type"), "StreamStarting");
    EXPECT_FALSE(Flag(starting, "preview-only")) << "only the literal true asks for a preview";
    ASSERT_TRUE(Sim.SendStreamStatus());
    EXPECT_EQ(Text(Next(), "update-type"), "StreamStatus");

    // Asking for a preview while a real stream runs stops it, reported as a preview.
    EXPECT_EQ(Status(R"({"request-type":"StartStopStreaming","preview-only":true})"), "ok");
    SimJson stopping = Next();
    EXPECT_EQ(Text(stopping, "update-type"), "StreamStopping");
    EXPECT_TRUE(Flag(stopping, "preview-only"));
    EXPECT_FALSE(Sim.SendStreamStatus()) << "no figures while idle";
}

TEST_F(SimulatedObsTest, SetsAndMutesVolumesTheWayObsDoes)
{
    EXPECT_EQ(Status(R"({"request-type":"SetVolume","volume":0.3,"final":false,"channel":"Microphone"})"), "ok");
    SimJson moved = Next();
    EXPECT_EQ(Text(moved, "channel"), "microphone");
    EXPECT_DOUBLE_EQ(Number(moved, "volume"), static_cast<double>(0.3f));
    EXPECT_FALSE(Flag(moved, "muted") || Flag(moved, "finalValue"));
    Ask(R"({"request-type":"ToggleMute","channel":"MICROPHONE"})");
    SimJson muted = Next();
    EXPECT_TRUE(Flag(muted, "muted") && Flag(muted, "finalValue"));
    EXPECT_EQ(Number(muted, "volume"), 0.0);
    Ask(R"({"request-type":"ToggleMute","channel":"microphone"})");
    EXPECT_DOUBLE_EQ(Number(Next(), "volume"), static_cast<double>(0.3f)) << "unmuting brings the level back";
    Ask(R"({"request-type":"SetVolume","volume":7,"final":true,"channel":"desktop"})");
    EXPECT_EQ(Number(Next(), "volume"), 1.0) << "out-of-range volumes are clamped";
}
