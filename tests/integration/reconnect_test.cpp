// Automatic reconnection against the OBS Remote simulator over real loopback: OBS restarted
// (the simulator ended and started again on the same port), a refused peer tried again with
// growing delays, Disconnect and a script's Connect during the wait, and a password changed
// while the client was away.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "client/session.h"
#include "tests/support/client_test_support.h"
#include "tools/simulator/obs_simulator.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

constexpr const char* Password = "supersecretpassword";

class ReconnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachRecordingHost(host, client);
        client.Endpoint.AutoReconnect = true;
    }
    void TearDown() override { client.Disconnect(); }

    // Starts OBS on `port` (0: a free one) with the given password and salt.
    void StartObs(int port, const std::string& password = Password, const std::string& salt = "")
    {
        OBSSimulatorOptions options;
        options.UseAuth = true;
        options.Password = password;
        options.Salt = salt;
        sim = std::make_unique<OBSSimulator>(std::move(options));
        ASSERT_TRUE(sim->Start(port));
        // The worker may be reading the settings for an automatic attempt meanwhile.
        std::lock_guard<std::mutex> guard(client.EndpointLock);
        client.Endpoint.Port = static_cast<uint16_t>(sim->Port());
    }
    // A port on which nothing listens: taken by a simulator that is then ended.
    uint16_t RefusingPort()
    {
        OBSSimulator probe;
        EXPECT_TRUE(probe.Start(0));
        const int port = probe.Port();
        probe.Stop();
        return static_cast<uint16_t>(port);
    }
    size_t StateCount(const std::string& state) const
    {
        const Lines states = host.States();
        return static_cast<size_t>(std::count(states.begin(), states.end(), state));
    }
    void ConnectAndAuthenticate()
    {
        client.Connect();
        ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp"));
        client.Authenticate(Password);
        ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted"));
    }

    std::unique_ptr<OBSSimulator> sim;
    RecordingHost host;
    OBSRemoteClient client;
};

// OBS keeps its salt across a restart, so the kept secret answers the new connection's
// challenge: Ready and accepted again with no script call and no failed attempt, three times.
TEST_F(ReconnectTest, ObsRestartedIsReadyAndAuthenticatedAgainByItself)
{
    ASSERT_NO_FATAL_FAILURE(StartObs(0));
    const int port = sim->Port();
    const std::string salt = sim->Salt();
    ConnectAndAuthenticate();
    for (size_t restart = 1; restart <= 3; ++restart) {
        sim.reset();
        ASSERT_TRUE(Eventually([&] { return client.IsReconnectPlanned(); }, 20s));
        ASSERT_NO_FATAL_FAILURE(StartObs(port, Password, salt));
        ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted", 1 + restart, 20s)) << restart;
        EXPECT_EQ(sim->FailedAuthAttempts(), 0);
        EXPECT_EQ(client.State.load(), Ready);
        EXPECT_EQ(client.Reconnect.Attempt.load(), 1u) << "the first attempt after a Ready session is attempt 1";
        EXPECT_EQ(StateCount("Ready"), 1 + restart);
    }
    EXPECT_EQ(host.CountEvents("OBSRemote:AuthFailed"), 0u);
}

// Nothing listens: each attempt is refused, and the delays grow 0.5 s, 1 s, 2 s (±20 %).
// The delays drawn are read from the member while the client waits; the host's own clock
// shows that no attempt began before its delay was over.
TEST_F(ReconnectTest, RefusedConnectionIsTriedAgainWithGrowingDelays)
{
    client.Endpoint.Port = RefusingPort();
    client.Connect();
    std::vector<int64_t> delays;
    for (size_t attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_TRUE(Eventually([&] { return client.Reconnect.DelayMs.load() >= 0; }, 20s));
        delays.push_back(client.Reconnect.DelayMs.load());
        ASSERT_TRUE(Eventually([&] { return StateCount("Connecting") == 1 + attempt; }, 20s));
        EXPECT_EQ(client.Reconnect.Attempt.load(), attempt);
    }
    client.Disconnect();
    // Every refusal is its own attempt: Connecting, then Disconnected, then the wait.
    std::vector<RecordedEvent> states;
    for (const RecordedEvent& e : host.Events()) {
        if (e.Name == "OBSRemote:StateChanged" && states.size() < 7) {
            states.push_back(e);
        }
    }
    ASSERT_EQ(states.size(), 7u);
    const int64_t nominal[] = {500, 1000, 2000};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(states[2 * i].Args.at(0), "Connecting");
        EXPECT_EQ(states[2 * i + 1].Args.at(0), "Disconnected");
        EXPECT_GE(delays[i], nominal[i] * 8 / 10);
        EXPECT_LE(delays[i], nominal[i] * 12 / 10);
        const auto waited = states[2 * i + 2].At - states[2 * i + 1].At;
        EXPECT_GE(waited, std::chrono::milliseconds(delays[i]));
    }
}

// Disconnect while waiting returns at once and ends the worker, so no attempt can follow;
// the state was Disconnected already and raises nothing more. A script's Connect while
// waiting does not wait: it starts its own session at once, as attempt 0.
TEST_F(ReconnectTest, DisconnectOrConnectDuringTheWaitActsAtOnce)
{
    client.Endpoint.Port = RefusingPort();
    client.Connect();
    ASSERT_TRUE(Eventually([&] { return client.IsReconnectPlanned() && StateCount("Disconnected") == 1; }, 20s));
    const size_t events = host.Events().size();
    const auto before = Clock::now();
    client.Disconnect();
    EXPECT_LT(Clock::now() - before, 400ms) << "returned only when the 0.5 s wait was over";
    EXPECT_FALSE(client.Worker.IsRunning.load());
    EXPECT_FALSE(client.IsReconnectPlanned());
    EXPECT_EQ(client.State.load(), Disconnected);
    EXPECT_EQ(host.Events().size(), events);

    ASSERT_NO_FATAL_FAILURE(StartObs(0));
    client.Endpoint.Port = RefusingPort();
    client.Connect();
    ASSERT_TRUE(Eventually([&] { return client.IsReconnectPlanned(); }, 20s));
    client.ChangeConnectionSetting("SetPort", SettingKey::Port, std::to_string(sim->Port()).c_str());
    client.Connect();
    EXPECT_EQ(client.Reconnect.Attempt.load(), 0u);
    ASSERT_TRUE(Eventually([&] { return client.State.load() == Ready; }, 5s));
    EXPECT_EQ(StateCount("Connecting"), 3u);
}

// A password changed while the client was away brings a new salt: the kept secret no longer
// fits, so nothing is tried (no attempt of the plug-in's ten is spent) and the client waits
// in Ready for a script's Authenticate.
TEST_F(ReconnectTest, PasswordChangedWhileAwayWaitsInReadyWithoutSpendingAnAttempt)
{
    ASSERT_NO_FATAL_FAILURE(StartObs(0));
    const int port = sim->Port();
    ConnectAndAuthenticate();
    sim.reset();
    ASSERT_NO_FATAL_FAILURE(StartObs(port, "another password"));
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthRequiredRsp", 2, 20s));
    // Requests leave in order: once this marker has arrived, an Authenticate would have too.
    client.GetVersion();
    ASSERT_TRUE(sim->WaitForRequest("GetVersion", 10s, 6).has_value());
    EXPECT_EQ(client.State.load(), Ready);
    EXPECT_FALSE(client.IsAuthenticated.load());
    EXPECT_EQ(sim->FailedAuthAttempts(), 0);
    for (const SimReceived& received : sim->Received()) {
        EXPECT_NE(received.RequestType, "Authenticate");
    }
    client.Authenticate("another password");
    ASSERT_TRUE(host.WaitForEvent("OBSRemote:AuthAccepted", 2));
}

} // namespace
