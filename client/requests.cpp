#include "client/requests.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

#include "client/decimal_text.h"
#include "client/json_escape.h"
#include "client/obs_remote_client.h"
#include "client/session.h"
#include "support/portable_lock.h"

namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string Typed(const char* requestType)
{
    std::string body = "{\"request-type\":\"";
    body += requestType;
    body += "\",";
    return body;
}

// JSON has no infinity or NaN, and the plug-in drops a request it cannot parse without an
// answer; a volume beyond the float range saturates (the plug-in clamps to 0..1 anyway).
// The decimal point stays "." whatever locale the host runs in.
std::string VolumeText(float volume)
{
    double value = std::isnan(volume) ? 0.0 : static_cast<double>(std::fmax(-FLT_MAX, std::fmin(FLT_MAX, volume)));
    char number[64];
    FormatDecimal(number, sizeof(number), 2, value);
    return number;
}

std::string& Close(std::string& body)
{
    body += "\"message-id\":\"";
    return body;
}

} // namespace

std::string ComposeRequest(const std::string& body, uint32_t id)
{
    std::string text = body;
    text += std::to_string(id);
    text += "\"}";
    return text;
}

bool RequestFits(const std::string& body, uint32_t id, size_t bufferSize)
{
    size_t length = body.size() + std::to_string(id).size() + 2;
    return length + 1 <= bufferSize;
}

namespace RequestBody {

std::string Plain(const char* requestType)
{
    std::string body = Typed(requestType);
    return Close(body);
}

std::string SetVolume(const char* channel, float volume, bool final)
{
    std::string body = Typed("SetVolume");
    body += "\"channel\":\"";
    AppendJsonEscaped(body, channel);
    body += "\",\"volume\":";
    body += VolumeText(volume);
    body += ",\"final\":";
    body += Bool(final);
    body += ',';
    return Close(body);
}

std::string ToggleMute(const char* channel)
{
    std::string body = Typed("ToggleMute");
    body += "\"channel\":\"";
    AppendJsonEscaped(body, channel);
    body += "\",";
    return Close(body);
}

std::string StartStopStreaming(bool previewOnly)
{
    std::string body = Typed("StartStopStreaming");
    if (previewOnly) {
        body += "\"preview-only\":true,";
    }
    return Close(body);
}

std::string Authenticate(const std::string& auth)
{
    std::string body = Typed("Authenticate");
    body += "\"auth\":\"";
    AppendJsonEscaped(body, auth.c_str());
    body += "\",";
    return Close(body);
}

std::string SetCurrentScene(const char* sceneName)
{
    std::string body = Typed("SetCurrentScene");
    body += "\"scene-name\":\"";
    AppendJsonEscaped(body, sceneName);
    body += "\",";
    return Close(body);
}

std::string SetSourceOrder(const char* nameList)
{
    std::string body = Typed("SetSourceOrder");
    body += "\"scene-names\":[";
    body += nameList != nullptr ? nameList : "";
    body += "],";
    return Close(body);
}

std::string SetSourceRender(const char* sourceName, bool render)
{
    std::string body = Typed("SetSourceRender");
    body += "\"source\":\"";
    AppendJsonEscaped(body, sourceName);
    body += "\",\"render\":";
    body += Bool(render);
    body += ',';
    return Close(body);
}

} // namespace RequestBody

uint32_t TakeMessageId(OBSRemoteClient& client) { return client.NextMessageId++; }

void SendRequest(OBSRemoteClient& client, const char* operation, size_t bufferSize, const std::string& body)
{
    const char* refusal = nullptr;
    {
        // The id is taken and the request queued under one lock, so the queue holds the
        // requests in id order whichever thread issues them.
        CWinLock guard(&client.Session.SendLock);
        if (!client.IsConnected()) {
            refusal = "Not connected";
        } else if (!RequestFits(body, client.NextMessageId, bufferSize)) {
            refusal = "Request too long";
        } else {
            client.Session.SendQueue.push_back(ComposeRequest(body, TakeMessageId(client)));
            WakeSessionLocked(client);
        }
    }
    if (refusal != nullptr) {
        std::string line = "HVEOBSRemote: ";
        line += operation;
        line += ": ";
        line += refusal;
        client.Print(line.c_str());
    }
}

// The obsremote type's requests go through the client's wire protocol; only the plug-in's
// opening request for its password demand is asked here directly.
void OBSRemoteClient::GetAuthRequired()
{
    SendRequest(*this, "GetAuthRequired", SmallRequestBuffer, RequestBody::Plain("GetAuthRequired"));
}

// The refresh after opening or authenticating, on whichever wire protocol the session speaks.
void OBSRemoteClient::RequestRefresh()
{
    GetCurrentScene();
    GetSceneList();
    GetStreamingStatus();
    GetVolumes();
}
