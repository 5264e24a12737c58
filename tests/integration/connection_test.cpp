// The client against the OBS Remote simulator over real loopback: the session's states and
// opening requests, every request as the plug-in receives it, the ends of a session (peer
// close, Disconnect, refused handshake), large and oversized messages, and authentication
// across reconnects.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "client/auth_hash.h"
#include "client/obs_remote_client.h"
#include "client/requests.h"
#include "support/portable_lock.h"
#include "tests/support/client_test_support.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using namespace std::chrono_literals;

template <typename Pred>
bool Eventually(Pred pred, std::chrono::milliseconds timeout = 10s)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

OBSSimulatorOptions NoPassword()
{
    OBSSimulatorOptions options;
    options.UseAuth = false;
    return options;
}

std::string Plain(const char* type, uint32_t id)
{
    return ComposeRequest(RequestBody::Plain(type), id);
}

class ConnectionTest : public ::testing::Test {
protected:
    void Begin(OBSSimulatorOptions options = NoPassword())
    {
        sim = std::make_unique<OBSSimulator>(std::move(options));
        ASSERT_TRUE(sim->Start(0));
        AttachRecordingHost(host, client);
        client.Endpoint.Port = static_cast<uint16_t>(sim->Port());
    }
    void TearDown() override
    {
        client.Disconnect();
        if (sim) {
            sim->Stop();
        }
    }
    void ConnectReady()
    {
        size_t readyBefore = CountState(host.Events(), "Ready");
        client.Connect();
        ASSERT_TRUE(host.WaitFor(
            [&](const std::vector<RecordedEvent>& events) { return CountState(events, "Ready") > readyBefore; }));
    }
    static size_t CountState(const std::vector<RecordedEvent>& events, const std::string& name)
    {
        size_t n = 0;
        for (const RecordedEvent& e : events) {
            if (e.Name == "OBSRemote:StateChanged" && e.Args.at(0) == name) {
                ++n;
            }
        }
        return n;
    }
    std::vector<std::string> StateEvents() const
    {
        std::vector<std::string> names;
        for (const RecordedEvent& e : host.Events()) {
            if (e.Name == "OBSRemote:StateChanged") {
                names.push_back(e.Args.at(0));
            }
        }
        return names;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const SimReceived& r : sim->Received()) {
            texts.push_back(r.Text);
        }
        return texts;
    }
    std::vector<std::string> Events(const std::string& name) const
    {
        std::vector<std::string> found;
        for (const std::string& e : FormatEvents(host)) {
            if (e.rfind(name, 0) == 0) {
                found.push_back(e);
            }
        }
        return found;
    }
    bool WorkerGone() const { return !client.Worker.IsRunning.load(); }

    std::unique_ptr<OBSSimulator> sim;
    RecordingHost host;
    OBSRemoteClient client;
};

TEST_F(ConnectionTest, ConnectReachesReadyAndSendsTheOpeningRequests)
{
    Begin();
    ConnectReady();
    EXPECT_EQ(StateEvents(), (std::vector<std::string>{"Connecting", "Connected", "Ready"}));
    ASSERT_TRUE(sim->WaitForReceivedCount(6, 10s));
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           Plain("GetVersion", 1),
                           Plain("GetAuthRequired", 2),
                           Plain("GetCurrentScene", 3),
                           Plain("GetSceneList", 4),
                           Plain("GetStreamingStatus", 5),
                           Plain("GetVolumes", 6),
                       }));
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"Waiting for connect..."});
    // The answers come back through the real dispatch.
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:VolumesRsp"));
    EXPECT_EQ(Events("OBSRemote:VersionRsp"), std::vector<std::string>{"OBSRemote:VersionRsp \"1.10\""});
    EXPECT_EQ(Events("OBSRemote:AuthRequiredRsp"), std::vector<std::string>{"OBSRemote:AuthRequiredRsp \"0\""});
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 0u);
    EXPECT_EQ(client.Session.Context != nullptr, true);
}

// The exact texts are checked in the unit tests; over the wire what matters is that the
// plug-in can parse names holding quotes and backslashes, and that the longest request
// arrives as one piece while a longer one never leaves.
TEST_F(ConnectionTest, EscapedNamesAndTheLongestListReachThePlugInIntact)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(sim->WaitForReceivedCount(6, 10s));
    sim->ClearReceived();
    host.Clear();

    const std::string quoted = "Scene \"two\" \\ with\ttab";
    client.SetCurrentScene(quoted.c_str());
    client.SetSourceOrderNames({quoted, "b"});
    client.SetSourceRender(quoted.c_str(), false);
    const size_t orderFixed = ComposeRequest(RequestBody::SetSourceOrder(""), 10).size();
    std::string longest = "\"" + std::string(ListRequestBuffer - 1 - orderFixed - 2, 'x') + "\"";
    client.SetSourceOrder(longest.c_str());
    client.SetSourceOrder((longest + ",\"y\"").c_str()); // refused: no id, nothing sent
    client.StartPreview();

    ASSERT_TRUE(sim->WaitForRequest("StartStopStreaming", 10s).has_value());
    std::vector<SimReceived> received = sim->Received();
    ASSERT_EQ(received.size(), 5u);
    const char* types[] = {"SetCurrentScene", "SetSourceOrder", "SetSourceRender", "SetSourceOrder",
                           "StartStopStreaming"};
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].RequestType, types[i]) << received[i].Text;
    }
    EXPECT_EQ(received[3].Text, ComposeRequest(RequestBody::SetSourceOrder(longest.c_str()), 10));
    EXPECT_EQ(received[4].Text, R"({"request-type":"StartStopStreaming","preview-only":true,"message-id":"11"})");
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"HVEOBSRemote: SetSourceOrder: Request too long"});
}

// Requests from the host's thread while the worker services the connection: all arrive,
// in id order.
TEST_F(ConnectionTest, RequestsFromTheHostThreadArriveInOrderWhileTheWorkerReceives)
{
    Begin();
    ConnectReady();
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        client.GetVersion();
    }
    ASSERT_TRUE(sim->WaitForReceivedCount(6 + count, 20s));
    std::vector<std::string> texts = Texts();
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(texts[6 + i], Plain("GetVersion", 7 + i));
    }
    EXPECT_TRUE(host.WaitForEvent("OBSRemote:VersionRsp", 1 + count, 20s));
}

TEST_F(ConnectionTest, AfterDisconnectRequestsPrintNotConnectedAndUseNoId)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(sim->WaitForReceivedCount(6, 10s));
    client.Disconnect();
    uint32_t next = client.NextMessageId;
    host.Clear();
    client.GetSceneList();
    client.GetStreamingStatus();
    client.Authenticate("x");
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"HVEOBSRemote: GetSceneList: Not connected",
                                                       "HVEOBSRemote: GetStreamStatus: Not connected",
                                                       "HVEOBSRemote: Authenticate: Not connected"}));
    EXPECT_EQ(client.NextMessageId, next);

    // Ids keep counting in the next session.
    ConnectReady();
    ASSERT_TRUE(sim->WaitForReceivedCount(7, 10s));
    EXPECT_EQ(sim->ReceivedOn(2).at(0), Plain("GetVersion", next));
}

TEST_F(ConnectionTest, PeerClosingEndsTheSession)
{
    Begin();
    ConnectReady();
    host.Clear();
    sim->CloseAllConnections();
    ASSERT_TRUE(Eventually([&] { return WorkerGone() && client.State.load() == Disconnected; }));
    EXPECT_EQ(StateEvents(), std::vector<std::string>{"Disconnected"});
    EXPECT_EQ(client.Session.Context, nullptr);

    client.GetVersion();
    EXPECT_EQ(host.Lines().back(), "HVEOBSRemote: GetVersion: Not connected");
    ConnectReady(); // and the client can connect again
}

TEST_F(ConnectionTest, DisconnectDuringASessionStopsTheWorkerAndDestroysTheContext)
{
    Begin();
    for (int round = 0; round < 5; ++round) {
        host.Clear();
        ConnectReady();
        client.GetSceneList(); // may still be queued: dropped with the session
        client.Disconnect();
        EXPECT_TRUE(WorkerGone());
        EXPECT_EQ(client.Session.Context, nullptr);
        EXPECT_EQ(client.State.load(), Disconnected);
        EXPECT_EQ(StateEvents(),
                  (std::vector<std::string>{"Connecting", "Connected", "Ready", "Disconnecting", "Disconnected"}));
        {
            CSectionGuard guard(&client.Session.SendLock);
            EXPECT_TRUE(client.Session.SendQueue.empty());
            EXPECT_EQ(client.Session.WakeContext, nullptr);
        }
        EXPECT_FALSE(client.HaveVersion.load());
    }
    EXPECT_TRUE(sim->WaitForConnectionCount(0, 10s));
}

TEST_F(ConnectionTest, RefusedHandshakeGoesBackToDisconnected)
{
    Begin();
    sim->FailNextHandshakes(1);
    client.Connect();
    ASSERT_TRUE(Eventually([&] { return WorkerGone() && client.State.load() == Disconnected; }));
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"Waiting for connect..."});
    EXPECT_EQ(StateEvents(), (std::vector<std::string>{"Connecting", "Disconnected"}));
    EXPECT_EQ(client.Session.Context, nullptr);
    ConnectReady();
}

// 200 scenes of 20 sources: an answer of several hundred kilobytes, far beyond one
// receive delivery, reaches the model whole.
TEST_F(ConnectionTest, LargeSceneListArrivesWhole)
{
    OBSSimulatorOptions options = NoPassword();
    options.Scenes.Scenes.clear();
    for (int s = 0; s < 200; ++s) {
        SimScene scene;
        scene.Name = "Scene " + std::to_string(s);
        for (int i = 0; i < 20; ++i) {
            SimSource source;
            source.Name = "Source " + std::to_string(s) + "." + std::to_string(i);
            source.Render = (i % 2) == 0;
            scene.Sources.push_back(source);
        }
        options.Scenes.Scenes.push_back(scene);
    }
    options.Scenes.CurrentScene = "Scene 199";
    Begin(options);
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:SceneListRsp"));
    ASSERT_EQ(client.Model.SceneCount(), 200u);
    // The current scene's answer may have made its record first; a known scene keeps its
    // place in the list, so the scenes are looked up by name.
    for (int s = 0; s < 200; ++s) {
        SceneInfo* scene = client.Model.FindScene(("Scene " + std::to_string(s)).c_str(), false);
        ASSERT_NE(scene, nullptr) << s;
        ASSERT_EQ(SceneModel::SourceCount(scene), 20u);
        EXPECT_EQ(SceneModel::SourceAt(scene, 19)->Name, "Source " + std::to_string(s) + ".19");
    }
    EXPECT_EQ(client.Model.CurrentSceneNameCopy(), "Scene 199");
}

// A message beyond the 16 MiB cap is dropped with one line; the session goes on.
TEST_F(ConnectionTest, OversizedMessageIsDroppedAndTheNextOneHandled)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:VolumesRsp"));
    std::string huge = "{\"update-type\":\"SwitchScenes\",\"scene-name\":\"" + std::string(16u * 1024u * 1024u, 'h') + "\"}";
    sim->Broadcast(huge);
    sim->Broadcast("{\"update-type\":\"SwitchScenes\",\"scene-name\":\"after\"}");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:SwitchScenes", 1, 60s));
    EXPECT_EQ(Events("OBSRemote:SwitchScenes"), std::vector<std::string>{"OBSRemote:SwitchScenes \"after\""});
    std::vector<std::string> lines = host.Lines();
    EXPECT_EQ(lines, (std::vector<std::string>{"Waiting for connect...", "Received message longer than 16 MiB dropped"}));
    EXPECT_EQ(client.State.load(), Ready);
}

class AuthenticationConnectionTest : public ConnectionTest {
protected:
    void Begin()
    {
        OBSSimulatorOptions options;
        options.UseAuth = true;
        options.Password = "supersecretpassword";
        ConnectionTest::Begin(options);
    }
};

TEST_F(AuthenticationConnectionTest, WrongThenRightPassword)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
    EXPECT_EQ(Events("OBSRemote:AuthRequiredRsp"), std::vector<std::string>{"OBSRemote:AuthRequiredRsp \"1\""});
    bool value = false;
    EXPECT_TRUE(client.QueryAuthRequired(value));
    EXPECT_TRUE(value);
    EXPECT_TRUE(client.QueryIsAuthenticated(value));
    EXPECT_FALSE(value);

    client.Authenticate("wrong");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthFailed"));
    EXPECT_EQ(sim->FailedAuthAttempts(), 1);
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 0u);

    client.Authenticate("supersecretpassword");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:VolumesRsp"));
    EXPECT_TRUE(client.IsAuthenticated.load());
    EXPECT_EQ(sim->FailedAuthAttempts(), 0);
    EXPECT_EQ(client.AuthSecret.Get(), Base64Sha256("supersecretpassword", sim->Salt()));
}

// The kept secret answers the new connection's own challenge once its GetAuthRequired answer
// is in: accepted again without a script call and without a failed attempt.
TEST_F(AuthenticationConnectionTest, ReconnectingAuthenticatesByItself)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
    client.Authenticate("supersecretpassword");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted"));
    client.Disconnect();

    for (int round = 2; round <= 3; ++round) {
        host.Clear();
        ConnectReady();
        ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted")) << "round " << round;
        EXPECT_EQ(host.CountEvents("OBSRemote:AuthFailed"), 0u);
        EXPECT_EQ(sim->FailedAuthAttempts(), 0);
        EXPECT_TRUE(client.IsAuthenticated.load());
        std::optional<SimReceived> auth = sim->WaitForRequest("Authenticate", 10s);
        ASSERT_TRUE(auth.has_value());
        std::vector<std::string> onThis = sim->ReceivedOn(static_cast<uint64_t>(round));
        ASSERT_GE(onThis.size(), 7u);
        // The six opening requests come first, then the answer to this connection's challenge.
        EXPECT_NE(onThis[6].find("\"request-type\":\"Authenticate\""), std::string::npos) << onThis[6];
        client.Disconnect();
        sim->ClearReceived();
    }
}

// A password changed in OBS since the secret was made: no automatic attempt is wasted.
TEST_F(AuthenticationConnectionTest, ChangedPasswordMakesNoAutomaticAttempt)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
    client.Authenticate("supersecretpassword");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted"));
    client.Disconnect();

    sim->SetAuth(true, "another password");
    sim->ClearReceived();
    host.Clear();
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
    ASSERT_TRUE(sim->WaitForReceivedCount(6, 10s));
    // Ask once more so that anything the client would have sent on its own has arrived.
    client.GetVersion();
    ASSERT_TRUE(sim->WaitForRequest("GetVersion", 10s, 6).has_value());
    for (const SimReceived& r : sim->Received()) {
        EXPECT_NE(r.RequestType, "Authenticate");
    }
    EXPECT_EQ(sim->FailedAuthAttempts(), 0);
    EXPECT_FALSE(client.IsAuthenticated.load());
}

} // namespace
