// A bare WebSocket client over a plain socket, for tests that must see the wire itself:
// the exact handshake headers sent, every frame received with its flags, oversized and
// fragmented requests. Not thread-safe; one test thread drives it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class SimRawClient {
public:
    struct Frame {
        int Opcode = 0; // 1 text, 2 binary, 8 close, 9 ping, 10 pong, 0 continuation
        bool Fin = false;
        bool Rsv = false; // any of the three reserved bits
        std::string Payload;
    };

    SimRawClient() = default;
    ~SimRawClient();
    SimRawClient(const SimRawClient&) = delete;
    SimRawClient& operator=(const SimRawClient&) = delete;

    // Opens the TCP connection and makes the opening handshake; protocol is the whole
    // Sec-WebSocket-Protocol header, or none when absent. True when the server switched
    // protocols with a correct Sec-WebSocket-Accept.
    bool Connect(const std::string& address, int port, const std::optional<std::string>& protocol = std::string("obsapi"),
        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    const std::string& HandshakeAnswer() const { return Answer; }
    // A small socket receive buffer (set before Connect) makes the server's sends partial.
    void SetReceiveBuffer(int bytes) { ReceiveBufferBytes = bytes; }

    // One masked frame; SendText is a single text frame with FIN set.
    bool SendFrame(int opcode, bool fin, const std::string& payload);
    bool SendText(const std::string& text) { return SendFrame(1, true, text); }

    // The next frame, whatever it is; nothing on timeout or when the connection ended.
    std::optional<Frame> ReadFrame(std::chrono::milliseconds timeout);
    // The next text frame; pings are answered on the way, a close ends the wait.
    std::optional<std::string> ReadText(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits for the server's close frame (answering it) or the end of the connection;
    // gives the close status when there was one, 0 when the socket just ended.
    std::optional<int> WaitForClose(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    void Close();
    bool IsOpen() const { return Socket >= 0; }

private:
    bool ReadMore(std::chrono::steady_clock::time_point deadline);
    bool SendAll(const std::string& bytes);

    int Socket = -1;
    int ReceiveBufferBytes = 0;
    std::string Buffer;
    std::string Answer;
};
