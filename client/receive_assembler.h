// Gathers the deliveries of one received message until its last piece has come. The
// plug-in sends every answer as one frame of any length, which the library hands over in
// pieces of at most its receive buffer; a scene list of a few dozen sources already spans
// several. Messages beyond the cap are dropped whole, and the next message starts afresh.
#pragma once

#include <cstddef>
#include <string>

class ReceiveAssembler {
public:
    static constexpr size_t DefaultCap = 16u * 1024u * 1024u;

    enum class Result {
        Incomplete, // more pieces of this message are to come
        Complete,   // Message() holds the whole message, zero-terminated
        Dropped,    // the message went past the cap; it is gone
    };

    // buffer: where the message is gathered (kept by the caller, e.g. the session state).
    explicit ReceiveAssembler(std::string& buffer, size_t cap = DefaultCap);

    // Adds one delivery; final tells that it ends the message. After Complete the
    // message stays readable until the next Append.
    Result Append(const char* data, size_t length, bool final);

    const std::string& Message() const { return Buffer; }
    size_t Cap() const { return Limit; }

private:
    std::string& Buffer;
    size_t Limit;
    bool Complete = false;
    bool Overflowed = false;
};
