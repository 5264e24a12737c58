// Connect and Disconnect without a plug-in: misuse messages, a refused connection (a failed
// start), a peer that takes the TCP connection but refuses or never answers the WebSocket
// handshake, and reaching a peer that listens on only one of the loopback addresses.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// A TCP socket on one loopback address, listening when asked; -1 when the machine lacks
// that address or the port is taken. Port 0 picks a free port, written back.
int LoopbackSocket(bool ipv6, uint16_t& port, bool listening)
{
    sockaddr_in6 a6{AF_INET6, htons(port), 0, in6addr_loopback, 0};
    sockaddr_in a4{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    sockaddr* a = ipv6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a4);
    socklen_t n = ipv6 ? sizeof(a6) : sizeof(a4);
    int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || bind(fd, a, n) != 0 || (listening && listen(fd, 8) != 0) || getsockname(fd, a, &n) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(ipv6 ? a6.sin6_port : a4.sin_port);
    return fd;
}

// Plays a peer that takes the TCP connection and answers the handshake with 400; false when
// no connection arrives in time.
bool RefuseOneHandshake(int fd)
{
    pollfd waiting{fd, POLLIN, 0};
    int c = poll(&waiting, 1, 10000) == 1 ? accept(fd, nullptr, nullptr) : -1;
    timeval limit{10, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    std::string request; // read to the handshake's blank line before refusing it
    char chunk[1024];
    for (ssize_t n = c < 0 ? 0 : 1; n > 0 && request.find("\r\n\r\n") == std::string::npos;) {
        n = recv(c, chunk, sizeof(chunk), 0);
        request.append(chunk, n > 0 ? size_t(n) : 0);
    }
    static const char answer[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
    send(c, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
    close(c);
    return c >= 0;
}

struct SessionStartTest : ::testing::Test {
    RecordingHost host;
    OBSRemoteClient client;
    SessionStartTest() { AttachRecordingHost(host, client); }
    Lines StateEvents() // any other event shows by its name
    {
        Lines states;
        for (const RecordedEvent& e : host.Events()) {
            states.push_back(e.Name == "OBSRemote:StateChanged" ? e.Args.at(0) : e.Name);
        }
        return states;
    }
    bool WorkerEnded() const { return !client.Worker.IsRunning.load(); }
};

TEST_F(SessionStartTest, MisuseMessagesChangeNothing)
{
    client.Disconnect();
    for (uint32_t state : {Ready, Connected, Disconnecting}) {
        client.State.store(state);
        client.Connect();
    }
    client.Disconnect();
    const std::string connected = "HVEOBSRemote: Connect: Already connected";
    EXPECT_EQ(host.Lines(), (Lines{connected, connected,
                                   "HVEOBSRemote: Connect: Currently disconnecting; please wait before reconnecting",
                                   "HVEOBSRemote: Disconnect: Already trying to disconnect"}));
    EXPECT_TRUE(host.Events().empty());
    EXPECT_EQ(client.State.load(), Disconnecting);
    client.State.store(Disconnected);
}

// Nothing listens on either loopback address: the start fails, the state stays Connecting
// until Disconnect, and the same client can fail again.
TEST_F(SessionStartTest, RefusedConnectionIsAFailedStartThatDisconnectRecovers)
{
    uint16_t port = 0;
    int v4 = LoopbackSocket(false, port, false); // bound but never listening: connections are refused
    int v6 = LoopbackSocket(true, port, false);  // the same where the machine has ::1
    ASSERT_GE(v4, 0);
    client.Endpoint.Port = port;
    for (int round = 0; round < 2; ++round) {
        host.Clear();
        client.Connect();
        ASSERT_TRUE(Eventually([&] { return WorkerEnded() && host.Lines() == Lines{"libwebsocket connect failed"}; }));
        EXPECT_EQ(client.State.load(), Connecting);
        EXPECT_NE(client.Session.Context, nullptr); // kept until Disconnect or the next Connect
        client.Connect();
        EXPECT_EQ(host.Lines().back(), "HVEOBSRemote: Connect: Already trying to connect");
        client.Disconnect();
        EXPECT_EQ(client.Session.Context, nullptr);
        EXPECT_EQ(StateEvents(), (Lines{"Connecting", "Disconnecting", "Disconnected"}));
    }
    close(v4);
    close(v6);
}

// "localhost" reaches a peer listening on only 127.0.0.1, and one on only ::1. The peer takes
// the TCP connection, so the start counts; its refused handshake then ends the session like a
// close, with no request sent.
TEST_F(SessionStartTest, RefusedHandshakeOnEitherLoopbackAddressEndsTheSession)
{
    for (bool ipv6 : {false, true}) {
        uint16_t port = 0;
        int fd = LoopbackSocket(ipv6, port, true);
        if (fd < 0) {
            ASSERT_TRUE(ipv6) << "no IPv4 loopback";
            continue; // no IPv6 loopback on this machine
        }
        host.Clear();
        client.Endpoint.Port = port;
        client.Connect();
        EXPECT_TRUE(RefuseOneHandshake(fd)) << (ipv6 ? "::1" : "127.0.0.1");
        ASSERT_TRUE(Eventually([&] { return WorkerEnded() && host.Lines() == Lines{"Waiting for connect..."}; }));
        EXPECT_EQ(client.State.load(), Disconnected);
        EXPECT_EQ(StateEvents(), (Lines{"Connecting", "Disconnected"}));
        EXPECT_EQ(client.Session.Context, nullptr);
        EXPECT_EQ(client.NextMessageId, 1u);
        close(fd);
    }
}

// A peer that takes the TCP connection but never answers the handshake: Disconnect while the
// worker waits for the answer returns promptly. Left alone, the session ends at the handshake
// limit like a refused handshake, and the next Connect starts afresh. The library gives up on
// such a connection by itself only after 5 s; ending well before that shows the limit ended it.
TEST_F(SessionStartTest, UnansweredHandshakeEndsAtDisconnectOrAtTheLimit)
{
    uint16_t port = 0;
    int fd = LoopbackSocket(false, port, true); // never accepted: the handshake is never answered
    ASSERT_GE(fd, 0);
    client.Endpoint.Port = port;
    client.Connect();
    ASSERT_TRUE(Eventually([&] { return host.Lines() == Lines{"Waiting for connect..."}; }));
    client.Disconnect();
    EXPECT_TRUE(WorkerEnded());
    EXPECT_EQ(client.Session.Context, nullptr);
    EXPECT_EQ(StateEvents(), (Lines{"Connecting", "Disconnecting", "Disconnected"}));

    client.HandshakeLimitMs = 200;
    for (int round = 0; round < 2; ++round) {
        host.Clear();
        client.Connect();
        ASSERT_TRUE(Eventually([&] { return WorkerEnded() && client.State.load() == Disconnected; },
                               std::chrono::seconds(3)))
            << "round " << round << ": the session outlived its limit";
        EXPECT_EQ(host.Lines(), Lines{"Waiting for connect..."});
        EXPECT_EQ(StateEvents(), (Lines{"Connecting", "Disconnected"}));
        EXPECT_EQ(client.Session.Context, nullptr);
    }
    close(fd);
}

} // namespace
