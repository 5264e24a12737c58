// Connect and Disconnect without a plug-in: misuse messages, a refused connection (a failed
// start), a peer that takes the TCP connection but refuses the WebSocket handshake, and
// reaching a peer that listens on only one of the loopback addresses.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "client/obs_remote_client.h"
#include "tests/support/client_test_support.h"

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

// A TCP listener on one loopback address that answers any handshake with 400 and closes.
class RawPeer {
public:
    explicit RawPeer(bool ipv6, uint16_t port = 0)
    {
        Fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(Fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        bool bound = false;
        if (ipv6) {
            setsockopt(Fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof(one));
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            a.sin6_port = htons(port);
            bound = bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(port);
            bound = bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
        }
        if (!bound || listen(Fd, 8) != 0) {
            close(Fd);
            Fd = -1;
            return;
        }
        sockaddr_storage s{};
        socklen_t n = sizeof(s);
        getsockname(Fd, reinterpret_cast<sockaddr*>(&s), &n);
        Port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&s)->sin6_port : reinterpret_cast<sockaddr_in*>(&s)->sin_port);
        Thread = std::thread([this] { Serve(); });
    }
    ~RawPeer()
    {
        Stopping.store(true);
        if (Thread.joinable()) {
            Thread.join();
        }
        if (Fd >= 0) {
            close(Fd);
        }
    }
    bool Ok() const { return Fd >= 0; }

    int Fd = -1;
    uint16_t Port = 0;
    std::atomic<int> Accepted{0};

private:
    void Serve()
    {
        while (!Stopping.load()) {
            pollfd p{Fd, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) {
                continue;
            }
            int c = accept(Fd, nullptr, nullptr);
            if (c < 0) {
                continue;
            }
            Accepted.fetch_add(1);
            // Read the handshake (until its blank line) before refusing it.
            std::string request;
            char chunk[1024];
            while (request.find("\r\n\r\n") == std::string::npos && !Stopping.load()) {
                pollfd q{c, POLLIN, 0};
                if (poll(&q, 1, 5) <= 0) {
                    continue;
                }
                ssize_t got = recv(c, chunk, sizeof(chunk), 0);
                if (got <= 0) {
                    break;
                }
                request.append(chunk, static_cast<size_t>(got));
            }
            static const char answer[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            send(c, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
            close(c);
        }
    }
    std::atomic<bool> Stopping{false};
    std::thread Thread;
};

// A port where nothing listens, on either loopback address.
uint16_t ClosedPort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        uint16_t port = 0;
        {
            RawPeer probe(false);
            port = probe.Port;
        }
        int v6 = socket(AF_INET6, SOCK_STREAM, 0);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        a.sin6_port = htons(port);
        int rc = connect(v6, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        close(v6);
        if (rc != 0) {
            return port;
        }
    }
    return 1;
}

class SessionStartTest : public ::testing::Test {
protected:
    void SetUp() override { AttachRecordingHost(host, client); }
    std::vector<std::string> StateEvents()
    {
        std::vector<std::string> names;
        for (const RecordedEvent& e : host.Events()) {
            if (e.Name == "OBSRemote:StateChanged") {
                names.push_back(e.Args.at(0));
            }
        }
        return names;
    }
    bool HasLine(const std::string& line)
    {
        for (const std::string& l : host.Lines()) {
            if (l == line) {
                return true;
            }
        }
        return false;
    }

    RecordingHost host;
    OBSRemoteClient client;
};

TEST_F(SessionStartTest, RefusedConnectionIsAFailedStartThatDisconnectRecovers)
{
    client.Endpoint.Port = ClosedPort();
    client.Connect();
    ASSERT_TRUE(Eventually([&] { return HasLine("libwebsocket connect failed") && !client.Worker.IsRunning.load(); }));
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"libwebsocket connect failed"});
    EXPECT_EQ(client.State.load(), Connecting);
    EXPECT_EQ(StateEvents(), std::vector<std::string>{"Connecting"});
    EXPECT_NE(client.Session.Context, nullptr); // kept until Disconnect or the next Connect

    client.Connect();
    EXPECT_EQ(host.Lines().back(), "HVEOBSRemote: Connect: Already trying to connect");

    client.Disconnect();
    EXPECT_EQ(client.State.load(), Disconnected);
    EXPECT_EQ(client.Session.Context, nullptr);
    EXPECT_EQ(StateEvents(), (std::vector<std::string>{"Connecting", "Disconnecting", "Disconnected"}));

    // A second failed start in the same client.
    host.Clear();
    client.Connect();
    ASSERT_TRUE(Eventually([&] { return HasLine("libwebsocket connect failed") && !client.Worker.IsRunning.load(); }));
    client.Disconnect();
    EXPECT_EQ(client.Session.Context, nullptr);
}

TEST_F(SessionStartTest, MisuseMessagesChangeNothing)
{
    client.Disconnect();
    EXPECT_TRUE(host.Lines().empty());
    EXPECT_TRUE(host.Events().empty());

    client.State.store(Ready);
    client.Connect();
    client.State.store(Connected);
    client.Connect();
    client.State.store(Disconnecting);
    client.Connect();
    client.Disconnect();
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{
                                "HVEOBSRemote: Connect: Already connected",
                                "HVEOBSRemote: Connect: Already connected",
                                "HVEOBSRemote: Connect: Currently disconnecting; please wait before reconnecting",
                                "HVEOBSRemote: Disconnect: Already trying to disconnect",
                            }));
    EXPECT_TRUE(host.Events().empty());
    EXPECT_EQ(client.State.load(), Disconnecting);
    client.State.store(Disconnected);
}

// The peer takes the TCP connection, so the start counts; the refused handshake then ends
// the session like a close.
TEST_F(SessionStartTest, RefusedHandshakeEndsTheSessionAfterTheStart)
{
    for (bool ipv6 : {false, true}) {
        RawPeer peer(ipv6);
        if (!peer.Ok()) {
            ASSERT_FALSE(ipv6) << "no IPv4 loopback";
            continue; // no IPv6 loopback on this machine
        }
        host.Clear();
        client.Endpoint.Port = peer.Port;
        client.NextMessageId = 1;
        client.Connect();
        ASSERT_TRUE(Eventually([&] { return !client.Worker.IsRunning.load() && client.State.load() == Disconnected; }))
            << (ipv6 ? "::1" : "127.0.0.1");
        EXPECT_EQ(host.Lines(), std::vector<std::string>{"Waiting for connect..."});
        EXPECT_EQ(StateEvents(), (std::vector<std::string>{"Connecting", "Disconnected"}));
        EXPECT_EQ(client.Session.Context, nullptr);
        EXPECT_EQ(peer.Accepted.load(), 1);
        EXPECT_EQ(client.NextMessageId, 1u);
    }
}

// Disconnect while the worker still waits for the handshake's answer: it returns promptly
// and the worker leaves the state to it.
TEST_F(SessionStartTest, DisconnectWhileWaitingForTheHandshake)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
    ASSERT_EQ(listen(fd, 8), 0); // never accepted: the handshake is never answered
    socklen_t n = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    client.Endpoint.Address = "127.0.0.1";
    client.Endpoint.Port = ntohs(a.sin_port);

    client.Connect();
    ASSERT_TRUE(Eventually([&] { return HasLine("Waiting for connect..."); }));
    client.Disconnect();
    EXPECT_FALSE(client.Worker.IsRunning.load());
    EXPECT_EQ(client.Session.Context, nullptr);
    EXPECT_EQ(StateEvents(), (std::vector<std::string>{"Connecting", "Disconnecting", "Disconnected"}));
    close(fd);
}

} // namespace
