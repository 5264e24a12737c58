// Every request the client sends: its text, the buffer it must fit, and the one path by
// which it reaches the connection.
//
// Each request text ends in "message-id":"<id>"} and everything before the id (the body)
// is fixed once the arguments are known, so the body is built first and the id added last,
// under the send lock. A request goes into the session's send queue in the order issued;
// the worker writes it on the connection's next writeable event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class OBSRemoteClient;

// Buffer sizes of the requests, terminating zero included.
constexpr size_t SmallRequestBuffer = 128;
constexpr size_t NameRequestBuffer = 256;
constexpr size_t ListRequestBuffer = 4096;

// The whole request text: body, the id in decimal, and the closing quote and brace.
std::string ComposeRequest(const std::string& body, uint32_t id);
// Whether that text and its terminating zero fit in bufferSize characters.
bool RequestFits(const std::string& body, uint32_t id, size_t bufferSize);

// Bodies of the requests. Texts are JSON-escaped; nameList of SetSourceOrder is taken as
// the inside of a JSON array, ready made.
namespace RequestBody {
std::string Plain(const char* requestType);
std::string SetVolume(const char* channel, float volume, bool final);
std::string ToggleMute(const char* channel);
std::string StartStopStreaming(bool previewOnly);
std::string Authenticate(const std::string& auth);
std::string SetCurrentScene(const char* sceneName);
std::string SetSourceOrder(const char* nameList);
std::string SetSourceRender(const char* sourceName, bool render);
} // namespace RequestBody

// Hands out NextMessageId and advances it (wrapping after 4294967295). The caller holds
// the client's Session.SendLock.
uint32_t TakeMessageId(OBSRemoteClient& client);

// The common send path. While the client is not connected it prints
// "HVEOBSRemote: <operation>: Not connected"; a request that would not fit its buffer is
// not sent and "HVEOBSRemote: <operation>: Request too long" is printed. In both cases no
// id is used. Otherwise the request takes the next id and is queued for the worker, which
// is woken at once. Safe from either thread.
void SendRequest(OBSRemoteClient& client, const char* operation, size_t bufferSize, const std::string& body);
