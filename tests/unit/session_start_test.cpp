// Connect and Disconnect without a plug-in: misuse messages, a refused connection (a failed
// start), a peer that takes the TCP connection but refuses or never answers the WebSocket
// handshake, reaching a peer that listens on only one of the loopback addresses, and one that
// falls silent once connected.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <mbedtls/base64.h>
#include <mbedtls/sha1.h>

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

// Takes one TCP connection and reads the handshake to its blank line; -1 when no connection
// arrives in time. Reads on the connection give up after 10 s.
int AcceptHandshake(int fd, std::string& request)
{
    pollfd waiting{fd, POLLIN, 0};
    int c = poll(&waiting, 1, 10000) == 1 ? accept(fd, nullptr, nullptr) : -1;
    timeval limit{10, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    char chunk[1024];
    for (ssize_t n = c < 0 ? 0 : 1; n > 0 && request.find("\r\n\r\n") == std::string::npos;) {
        n = recv(c, chunk, sizeof(chunk), 0);
        request.append(chunk, n > 0 ? size_t(n) : 0);
    }
    return c;
}

// Plays a peer that takes the TCP connection and answers the handshake with 400; false when
// no connection arrives in time.
bool RefuseOneHandshake(int fd)
{
    std::string request;
    int c = AcceptHandshake(fd, request);
    static const char answer[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
    send(c, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
    close(c);
    return c >= 0;
}

// Plays a peer that accepts the WebSocket handshake and then never reads or sends again;
// answers the connection (to read what the client sent later), or -1.
int AcceptHandshakeThenFallSilent(int fd)
{
    std::string request;
    int c = AcceptHandshake(fd, request);
    const std::string header = "Sec-WebSocket-Key: ";
    size_t at = request.find(header);
    if (c < 0 || at == std::string::npos) {
        close(c);
        return -1;
    }
    at += header.size();
    std::string key = request.substr(at, request.find("\r\n", at) - at) + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char digest[20];
    unsigned char accept[64];
    size_t written = 0;
    mbedtls_sha1_ret(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
    mbedtls_base64_encode(accept, sizeof(accept), &written, digest, sizeof(digest));
    std::string answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                         "Sec-WebSocket-Protocol: obsapi\r\nSec-WebSocket-Accept: " +
                         std::string(reinterpret_cast<char*>(accept), written) + "\r\n\r\n";
    send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
    return c;
}

// The close statuses among the client's frames (masked, as a client's always are) on `c`,
// read until the client closes the connection.
std::vector<int> CloseStatusesReceived(int c)
{
    std::string bytes;
    char chunk[4096];
    for (ssize_t n; (n = recv(c, chunk, sizeof(chunk), 0)) > 0;) {
        bytes.append(chunk, size_t(n));
    }
    std::vector<int> statuses;
    auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    for (size_t i = 0; i + 2 <= bytes.size();) {
        const int opcode = at(i) & 0x0f;
        size_t length = at(i + 1) & 0x7f, head = 2;
        if (length == 126 && i + 4 <= bytes.size()) {
            length = size_t(at(i + 2)) << 8 | at(i + 3);
            head = 4;
        } else if (length == 127) {
            break; // nothing here is that long
        }
        const size_t payload = i + head + 4;
        if (payload + length > bytes.size()) {
            break;
        }
        if (opcode == 8 && length >= 2) {
            const size_t mask = i + head;
            statuses.push_back((at(payload) ^ at(mask)) << 8 | (at(payload + 1) ^ at(mask + 1)));
        }
        i = payload + length;
    }
    return statuses;
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

// A peer that stops answering once connected: Disconnect's close frame (status 1000) still
// goes out, and with no answering close the session is cut off after a tenth of a second
// rather than at the library's own 5 s close timeout.
TEST_F(SessionStartTest, DisconnectFromASilentPeerClosesWithStatus1000AndEndsAtTheCloseLimit)
{
    uint16_t port = 0;
    int fd = LoopbackSocket(false, port, true);
    ASSERT_GE(fd, 0);
    client.Endpoint.Port = port;
    client.Connect();
    int c = AcceptHandshakeThenFallSilent(fd);
    ASSERT_GE(c, 0);
    ASSERT_TRUE(Eventually([&] { return client.State.load() == Ready; }));
    const auto start = std::chrono::steady_clock::now();
    client.Disconnect();
    const auto tookMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(tookMs, 90); // it waited for the peer's answer
    EXPECT_LT(tookMs, 2500);
    EXPECT_EQ(StateEvents(), (Lines{"Connecting", "Connected", "Ready", "Disconnecting", "Disconnected"}));
    EXPECT_EQ(CloseStatusesReceived(c), std::vector<int>{1000});
    close(c);
    close(fd);
}

} // namespace
