#include "tools/simulator/sim_raw_client.h"

#include <cerrno>
#include <cstring>

#include "tools/simulator/sim_socket.h"

namespace {

// RFC 6455's own example key and the accept value it must give.
const char* const HandshakeKey = "dGhlIHNhbXBsZSBub25jZQ==";
const char* const ExpectedAccept = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

} // namespace

SimRawClient::~SimRawClient() { Close(); }

void SimRawClient::Close()
{
    if (Socket >= 0)
        SimCloseSocket(Socket);
    Socket = -1;
    Buffer.clear();
}

bool SimRawClient::Connect(const std::string& address, int port, const std::optional<std::string>& protocol,
    std::chrono::milliseconds timeout)
{
    Close();
    Answer.clear();
    auto deadline = std::chrono::steady_clock::now() + timeout;
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof *v6;
    } else {
        return false;
    }
    Socket = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Socket < 0)
        return false;
    if (ReceiveBufferBytes > 0)
        setsockopt(Socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&ReceiveBufferBytes),
            sizeof ReceiveBufferBytes);
    if (connect(Socket, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        Close();
        return false;
    }
    int one = 1;
    setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);

    std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: ";
    request += HandshakeKey;
    request += "\r\nSec-WebSocket-Version: 13\r\n";
    if (protocol)
        request += "Sec-WebSocket-Protocol: " + *protocol + "\r\n";
    request += "\r\n";
    if (!SendAll(request)) {
        Close();
        return false;
    }
    size_t end;
    while ((end = Buffer.find("\r\n\r\n")) == std::string::npos)
        if (!ReadMore(deadline)) {
            Close();
            return false;
        }
    Answer = Buffer.substr(0, end + 4);
    Buffer.erase(0, end + 4);
    bool switched = Answer.rfind("HTTP/1.1 101", 0) == 0 && Answer.find(ExpectedAccept) != std::string::npos;
    if (!switched)
        Close();
    return switched;
}

bool SimRawClient::SendAll(const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(Socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool SimRawClient::SendFrame(int opcode, bool fin, const std::string& payload)
{
    if (Socket < 0)
        return false;
    std::string frame;
    frame += static_cast<char>((fin ? 0x80 : 0x00) | (opcode & 0x0F));
    const uint64_t size = payload.size();
    if (size < 126) {
        frame += static_cast<char>(0x80 | size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>((size >> 8) & 0xFF);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((size >> shift) & 0xFF);
    }
    const unsigned char mask[4] = {0x37, 0xFA, 0x21, 0x3D};
    frame.append(reinterpret_cast<const char*>(mask), 4);
    for (size_t i = 0; i < payload.size(); ++i)
        frame += static_cast<char>(payload[i] ^ static_cast<char>(mask[i % 4]));
    return SendAll(frame);
}

bool SimRawClient::ReadMore(std::chrono::steady_clock::time_point deadline)
{
    if (Socket < 0)
        return false;
    pollfd fd{};
    fd.fd = Socket;
    fd.events = POLLIN;
    int ready = SimPoll(&fd, 1, RemainingMs(deadline));
    if (ready <= 0)
        return false;
    char chunk[65536];
    ssize_t got = recv(Socket, chunk, sizeof chunk, 0);
    if (got <= 0)
        return false;
    Buffer.append(chunk, static_cast<size_t>(got));
    return true;
}

std::optional<SimRawClient::Frame> SimRawClient::ReadFrame(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (Buffer.size() >= 2) {
            auto byte = [this](size_t i) { return static_cast<unsigned char>(Buffer[i]); };
            size_t header = 2;
            uint64_t size = byte(1) & 0x7F;
            if (size == 126)
                header = 4;
            else if (size == 127)
                header = 10;
            bool masked = (byte(1) & 0x80) != 0;
            if (masked)
                header += 4;
            if (Buffer.size() >= header) {
                if (size == 126)
                    size = (uint64_t(byte(2)) << 8) | byte(3);
                else if (size == 127) {
                    size = 0;
                    for (size_t i = 2; i < 10; ++i)
                        size = (size << 8) | byte(i);
                }
                if (Buffer.size() - header >= size) {
                    Frame frame;
                    frame.Fin = (byte(0) & 0x80) != 0;
                    frame.Rsv = (byte(0) & 0x70) != 0;
                    frame.Opcode = byte(0) & 0x0F;
                    frame.Payload = Buffer.substr(header, static_cast<size_t>(size));
                    if (masked)
                        for (size_t i = 0; i < frame.Payload.size(); ++i)
                            frame.Payload[i] = static_cast<char>(frame.Payload[i] ^ Buffer[header - 4 + i % 4]);
                    Buffer.erase(0, header + static_cast<size_t>(size));
                    return frame;
                }
            }
        }
        if (!ReadMore(deadline))
            return std::nullopt;
    }
}

std::optional<std::string> SimRawClient::ReadText(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::optional<Frame> frame = ReadFrame(std::chrono::milliseconds(RemainingMs(deadline)));
        if (!frame || frame->Opcode == 8)
            return std::nullopt;
        if (frame->Opcode == 9)
            SendFrame(10, true, frame->Payload);
        else if (frame->Opcode == 1)
            return frame->Payload;
    }
}

std::optional<int> SimRawClient::WaitForClose(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (Socket < 0)
            return 0;
        // Leftover bytes are parsed first; an ended socket counts as closed.
        std::optional<Frame> frame = ReadFrame(std::chrono::milliseconds(RemainingMs(deadline)));
        if (!frame) {
            if (std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            Close();
            return 0;
        }
        if (frame->Opcode == 8) {
            SendFrame(8, true, frame->Payload.substr(0, 2));
            int status = frame->Payload.size() >= 2
                ? (static_cast<unsigned char>(frame->Payload[0]) << 8) | static_cast<unsigned char>(frame->Payload[1])
                : 0;
            Close();
            return status;
        }
    }
}
