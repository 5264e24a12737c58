// The client against the OBS Remote simulator over real loopback: the session's states and
// opening requests, requests as the plug-in receives them, the ends of a session (peer close,
// Disconnect), large and oversized messages, and authentication across reconnects. What a
// request prints while disconnected is checked on the real module.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "client/auth_hash.h"
#include "client/requests.h"
#include "tests/support/client_test_support.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

std::string Plain(const char* type, uint32_t id)
{
    return ComposeRequest(RequestBody::Plain(type), id);
}

class ConnectionTest : public ::testing::Test {
protected:
    // The password, when asked for, is "supersecretpassword".
    void Begin(bool useAuth = false, SimSceneSet scenes = DefaultSceneSet())
    {
        OBSSimulatorOptions options;
        options.UseAuth = useAuth;
        options.Password = "supersecretpassword";
        options.Scenes = std::move(scenes);
        sim = std::make_unique<OBSSimulator>(std::move(options));
        ASSERT_TRUE(sim->Start(0));
        AttachRecordingHost(host, client);
        client.Endpoint.Port = static_cast<uint16_t>(sim->Port());
    }
    void TearDown() override { client.Disconnect(); }
    void ConnectReady()
    {
        const size_t before = host.States().size();
        client.Connect();
        ASSERT_TRUE(host.WaitForEvent("OBSRemote:StateChanged", before + 3)); // Connecting, Connected, Ready
        ASSERT_EQ(host.States().back(), "Ready");
    }
    Lines Events(const std::string& name) const
    {
        Lines found;
        for (const std::string& e : FormatEvents(host)) {
            if (e.rfind(name, 0) == 0) {
                found.push_back(e);
            }
        }
        return found;
    }
    bool WorkerGoneAndDisconnected() const
    {
        return Eventually([&] { return !client.Worker.IsRunning.load() && client.State.load() == Disconnected; });
    }

    std::unique_ptr<OBSSimulator> sim;
    RecordingHost host;
    OBSRemoteClient client;
};

TEST_F(ConnectionTest, ConnectReachesReadyAndSendsTheOpeningRequests)
{
    Begin();
    ConnectReady();
    EXPECT_EQ(host.States(), (Lines{"Connecting", "Connected", "Ready"}));
    ASSERT_TRUE(sim->WaitForReceivedCount(6, 10s));
    EXPECT_EQ(sim->ReceivedOn(1), (Lines{Plain("GetVersion", 1), Plain("GetAuthRequired", 2),
                                         Plain("GetCurrentScene", 3), Plain("GetSceneList", 4),
                                         Plain("GetStreamingStatus", 5), Plain("GetVolumes", 6)}));
    EXPECT_EQ(host.Lines(), Lines{"Waiting for connect..."});
    // The answers come back through the real dispatch.
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:VolumesRsp"));
    EXPECT_EQ(Events("OBSRemote:VersionRsp"), Lines{"OBSRemote:VersionRsp \"1.10\""});
    EXPECT_EQ(Events("OBSRemote:AuthRequiredRsp"), Lines{"OBSRemote:AuthRequiredRsp \"0\""});
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthAccepted"), 0u);
}

// The exact texts are checked in the unit tests; over the wire what matters is that the
// plug-in can parse names holding quotes and backslashes, that the longest request arrives
// as one piece while a longer one never leaves, and that requests issued on the host's thread
// while the worker receives all arrive, in id order.
TEST_F(ConnectionTest, RequestsReachThePlugInIntactAndInOrder)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(sim->WaitForReceivedCount(6, 10s));
    sim->ClearReceived();
    const std::string quoted = "Scene \"two\" \\ with\ttab";
    client.SetCurrentScene(quoted.c_str());
    client.SetSourceOrderNames({quoted, "b"});
    client.SetSourceRender(quoted.c_str(), false);
    const size_t orderFixed = ComposeRequest(RequestBody::SetSourceOrder(""), 10).size();
    std::string longest = "\"" + std::string(ListRequestBuffer - 1 - orderFixed - 2, 'x') + "\"";
    client.SetSourceOrder(longest.c_str());
    client.SetSourceOrder((longest + ",\"y\"").c_str()); // refused: no id, nothing sent
    client.StartPreview();
    for (int i = 0; i < 300; ++i) {
        client.GetVersion();
    }
    ASSERT_TRUE(sim->WaitForReceivedCount(305, 20s));
    std::vector<SimReceived> received = sim->Received();
    const char* types[] = {"SetCurrentScene", "SetSourceOrder", "SetSourceRender", "SetSourceOrder",
                           "StartStopStreaming"};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(received[i].RequestType, types[i]) << received[i].Text;
    }
    EXPECT_EQ(received[3].Text, ComposeRequest(RequestBody::SetSourceOrder(longest.c_str()), 10));
    EXPECT_EQ(received[4].Text, R"({"request-type":"StartStopStreaming","preview-only":true,"message-id":"11"})");
    for (uint32_t i = 0; i < 300; ++i) {
        EXPECT_EQ(received[5 + i].Text, Plain("GetVersion", 12 + i));
    }
    EXPECT_EQ(host.Lines(), (Lines{"Waiting for connect...", "HVEOBSRemote: SetSourceOrder: Request too long"}));
    EXPECT_TRUE(host.WaitForEvent("OBSRemote:VersionRsp", 301, 20s));
}

// A flood of updates (here about 4,000 a second) is read in batches: every update still
// arrives, in order, and requests made meanwhile are answered, each before the next is made.
TEST_F(ConnectionTest, DuringAFloodEveryUpdateArrivesInOrderAndRequestsAreAnswered)
{
    Begin();
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:VolumesRsp"));
    const size_t earlier = host.CountEvents("OBSRemote:StreamStatus");
    constexpr int Updates = 4000;
    std::thread flood([&] {
        for (int i = 0; i < Updates; ++i) {
            sim->Broadcast(R"({"update-type":"StreamStatus","streaming":true,"preview-only":false,)"
                           R"("bytes-per-sec":1,"strain":0.5,"total-stream-time":)" +
                           std::to_string(i) + R"(,"num-total-frames":2,"num-dropped-frames":0,"fps":30})");
            if (i % 4 == 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
    });
    for (size_t answers = 2; answers <= 21; ++answers) {
        client.GetVersion();
        EXPECT_TRUE(host.WaitForEvent("OBSRemote:VersionRsp", answers));
    }
    flood.join();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:StreamStatus", earlier + Updates));
    Lines statuses = Events("OBSRemote:StreamStatus "); // not the answers, StreamStatusRsp
    ASSERT_EQ(statuses.size(), earlier + Updates);
    for (int i = 0; i < Updates; ++i) {
        ASSERT_EQ(statuses[earlier + i], "OBSRemote:StreamStatus \"1\" \"0\" \"1\" \"0.5000\" \"" + std::to_string(i) +
                                   "\" \"2\" \"0\" \"30\"");
    }
    EXPECT_EQ(client.State.load(), Ready);
}

// 200 scenes of 20 sources: an answer of several hundred kilobytes, far beyond one receive
// delivery, reaches the model whole. Then a message beyond the 16 MiB cap is dropped with
// one line, and the session goes on.
TEST_F(ConnectionTest, LargeSceneListArrivesWholeAndOversizedMessagesAreDropped)
{
    SimSceneSet scenes;
    scenes.Scenes.resize(200);
    for (size_t s = 0; s < 200; ++s) {
        scenes.Scenes[s].Name = "Scene " + std::to_string(s);
        scenes.Scenes[s].Sources.resize(20);
        for (size_t i = 0; i < 20; ++i) {
            scenes.Scenes[s].Sources[i].Name = "Source " + std::to_string(s) + "." + std::to_string(i);
        }
    }
    scenes.CurrentScene = "Scene 199";
    Begin(false, std::move(scenes));
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:SceneListRsp"));
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:VolumesRsp"));
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

    sim->Broadcast(R"({"update-type":"SwitchScenes","scene-name":")" + std::string(16u << 20, 'h') + "\"}");
    sim->Broadcast(R"({"update-type":"SwitchScenes","scene-name":"after"})");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:SwitchScenes", 1, 60s));
    EXPECT_EQ(Events("OBSRemote:SwitchScenes"), Lines{"OBSRemote:SwitchScenes \"after\""});
    EXPECT_EQ(host.Lines(), (Lines{"Waiting for connect...", "Received message longer than 16 MiB dropped"}));
    EXPECT_EQ(client.State.load(), Ready);
}

// A wrong password fails and is never sent again by itself: reconnecting does not retry it,
// so the plug-in counts one failed attempt however often the script reconnects. Once the
// right one is accepted, on every later connection the kept secret answers that connection's
// own challenge once its GetAuthRequired answer is in: accepted again without a script call
// and without a failed attempt.
TEST_F(ConnectionTest, AWrongPasswordIsNotRetriedAndTheRightOneAuthenticatesEveryReconnect)
{
    Begin(true);
    ConnectReady();
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
    EXPECT_EQ(Events("OBSRemote:AuthRequiredRsp"), Lines{"OBSRemote:AuthRequiredRsp \"1\""});
    client.Authenticate("wrong");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthFailed"));
    for (uint64_t connection = 2; connection <= 6; ++connection) {
        SCOPED_TRACE("connection " + std::to_string(connection));
        client.Disconnect();
        sim->ClearReceived();
        host.Clear();
        ConnectReady();
        if (connection <= 4) {
            ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
            // Anything the client sent on the GetAuthRequired answer is answered before this.
            client.GetVersion();
            ASSERT_TRUE(host.WaitForEvent("OBSRemote:VersionRsp", 2));
            EXPECT_EQ(sim->FailedAuthAttempts(), 1);
            EXPECT_EQ(host.CountEvents("OBSRemote:AuthFailed"), 0u);
            if (connection == 4) {
                client.Authenticate("supersecretpassword");
                ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted"));
                EXPECT_EQ(client.AuthSecret.Get(), Base64Sha256("supersecretpassword", sim->Salt()));
            }
            continue;
        }
        ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted"));
        EXPECT_EQ(host.CountEvents("OBSRemote:AuthFailed"), 0u);
        EXPECT_EQ(sim->FailedAuthAttempts(), 0);
        ASSERT_TRUE(sim->WaitForRequest("Authenticate", 10s).has_value());
        // The six opening requests come first, then the answer to this connection's challenge.
        EXPECT_NE(sim->ReceivedOn(connection).at(6).find(R"("request-type":"Authenticate")"), std::string::npos);
    }
}

// Scripts whose handlers the host runs at once on the worker thread may disconnect from
// them: the worker closes and tears the session down once the handler has returned, and
// every state is raised once, in order. A Disconnect on the host's thread once Ready, with a
// request perhaps still queued, does the same before it returns. Either way the session
// leaves nothing behind, and the plug-in sees a clean close.
TEST_F(ConnectionTest, DisconnectOnTheHostsThreadOrFromAHandlerOnTheWorkerThread)
{
    struct Case {
        const char* Event; // empty: Disconnect on the host's thread once Ready
        const char* Arg;   // of StateChanged; empty for others
        Lines States;
    };
    const Lines fromReady{"Connecting", "Connected", "Ready", "Disconnecting", "Disconnected"};
    const Case cases[] = {
        {"", "", fromReady},
        {"OBSRemote:StateChanged", "Connected", {"Connecting", "Connected", "Disconnecting", "Disconnected"}},
        {"OBSRemote:StateChanged", "Ready", fromReady},
        {"OBSRemote:AuthFailed", "", fromReady},
    };
    Begin(true);
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.Event) + " " + c.Arg);
            host.Clear();
            host.OnRaised = [&](const RecordedEvent& e) {
                if (e.Name == c.Event && (e.Args.empty() ? "" : e.Args[0]) == std::string(c.Arg)) {
                    client.Disconnect();
                }
            };
            if (c.Event[0] == '\0') {
                ConnectReady();
                client.GetSceneList(); // may still be queued: dropped with the session
                client.Disconnect();
                EXPECT_FALSE(client.Worker.IsRunning.load());
            } else {
                client.Connect();
            }
            if (std::string(c.Event) == "OBSRemote:AuthFailed") {
                ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
                client.Authenticate("wrong");
            }
            ASSERT_TRUE(host.WaitForEvent("OBSRemote:StateChanged", c.States.size()));
            ASSERT_TRUE(WorkerGoneAndDisconnected());
            host.OnRaised = nullptr;
            EXPECT_EQ(host.States(), c.States);
            EXPECT_EQ(client.Session.Context, nullptr);
            EXPECT_FALSE(client.HaveVersion.load());
            CWinLock guard(&client.Session.SendLock);
            EXPECT_TRUE(client.Session.SendQueue.empty());
            EXPECT_EQ(client.Session.WakeContext, nullptr);
        }
    }
    EXPECT_TRUE(sim->WaitForConnectionCount(0, 10s));
    EXPECT_EQ(sim->PeerCloseStatuses(), std::vector<int>(8, 1000));
}

// Connect as soon as "Disconnected" is seen after the plug-in closed: from a handler on the
// worker thread, and from the host's thread while the worker may still be returning. Each
// time a new session starts. A handler reads the state it was told about (unless another
// thread has moved it on since: the host's thread, in the second run). After the last close
// the session is gone: a request prints "Not connected".
TEST_F(ConnectionTest, ReconnectingFromTheDisconnectedEventAlwaysStartsASession)
{
    constexpr size_t Rounds = 200;
    std::atomic<size_t> misread{0};
    for (bool onWorker : {true, false}) {
        SCOPED_TRACE(onWorker ? "worker thread" : "host's thread");
        Begin();
        host.OnRaised = [this, onWorker, &misread](const RecordedEvent& e) {
            if (e.Name != "OBSRemote:StateChanged") {
                return;
            }
            if (onWorker && StateName(client.State.load()) != e.Args.at(0)) {
                misread.fetch_add(1);
            }
            if (onWorker && e.Args.at(0) == "Disconnected" && host.CountEvents("OBSRemote:StateChanged") < 4 * Rounds) {
                client.Connect();
            }
        };
        client.Connect();
        for (size_t round = 1; round <= Rounds; ++round) {
            ASSERT_TRUE(sim->WaitForConnectionCount(1, 10s)) << round;
            ASSERT_TRUE(host.WaitForEvent("OBSRemote:StateChanged", 4 * round - 1)) << round; // ... Ready
            sim->CloseAllConnections();
            ASSERT_TRUE(host.WaitForEvent("OBSRemote:StateChanged", 4 * round)) << round; // Disconnected
            if (!onWorker && round < Rounds) {
                client.Connect();
            }
        }
        ASSERT_TRUE(WorkerGoneAndDisconnected());
        host.OnRaised = nullptr;
        EXPECT_EQ(client.Session.Context, nullptr);
        client.GetVersion();
        EXPECT_EQ(sim->ConnectionsAccepted(), Rounds);
        Lines expected;
        for (size_t round = 0; round < Rounds; ++round) {
            expected.insert(expected.end(), {"Connecting", "Connected", "Ready", "Disconnected"});
        }
        EXPECT_EQ(host.States(), expected);
        EXPECT_EQ(misread.load(), 0u);
        Lines lines(Rounds, "Waiting for connect...");
        lines.push_back("HVEOBSRemote: GetVersion: Not connected");
        EXPECT_EQ(host.Lines(), lines);
        host.Clear();
    }
}

} // namespace
