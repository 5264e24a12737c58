#include "client/obsws/obsws_translate.h"

#include <cmath>

#include "client/json_read.h"

namespace obsws {

namespace {

// obs-websocket writes whole numbers of float fields with ".0", but a hostile or future
// server may not: any JSON number counts here.
double Number(const json_t* object, const char* key)
{
    json_t* value = ReadMember(object, key);
    return json_is_number(value) ? json_number_value(value) : 0.0;
}

int64_t Whole(const json_t* object, const char* key)
{
    double value = Number(object, key);
    if (!std::isfinite(value)) {
        return 0;
    }
    return value >= 9.2e18 ? INT64_MAX : value <= -9.2e18 ? INT64_MIN : static_cast<int64_t>(value);
}

} // namespace

json_t* SourcesFromItems(const json_t* sceneItems)
{
    json_t* sources = json_array();
    for (size_t n = ArraySize(sceneItems); n > 0; --n) {
        const json_t* item = ArrayElement(sceneItems, n - 1);
        const char* name = ReadString(item, "sourceName");
        if (name == nullptr) {
            continue;
        }
        const json_t* transform = ReadMember(item, "sceneItemTransform");
        json_t* source = json_object();
        json_object_set_new(source, "name", json_string(name));
        json_object_set_new(source, "render", json_boolean(ReadFlag(item, "sceneItemEnabled")));
        json_object_set_new(source, "x", json_real(Number(transform, "positionX")));
        json_object_set_new(source, "y", json_real(Number(transform, "positionY")));
        json_object_set_new(source, "cx", json_real(Number(transform, "width")));
        json_object_set_new(source, "cy", json_real(Number(transform, "height")));
        json_array_append_new(sources, source);
    }
    return sources;
}

double VersionNumber(const char* text)
{
    if (text == nullptr || *text < '0' || *text > '9') {
        return 0.0;
    }
    double major = 0.0, minor = 0.0, scale = 1.0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9' && major < 1e9; ++c) {
        major = major * 10 + (*c - '0');
    }
    if (*c == '.') {
        for (++c; *c >= '0' && *c <= '9' && scale < 1e9; ++c) {
            scale *= 10;
            minor = minor * 10 + (*c - '0');
        }
    }
    return major + minor / scale;
}

json_t* StreamStatusUpdate(const json_t* streamStatus, const json_t* stats, int64_t& lastBytes, int64_t& lastDurationMs)
{
    int64_t bytes = Whole(streamStatus, "outputBytes");
    int64_t duration = Whole(streamStatus, "outputDuration");
    int64_t bytesPerSecond = 0;
    // A counter that went back belongs to a new stream: count from its start.
    if (bytes < lastBytes || duration < lastDurationMs) {
        lastBytes = 0;
        lastDurationMs = 0;
    }
    if (duration > lastDurationMs) {
        double rate = (static_cast<double>(bytes) - static_cast<double>(lastBytes)) * 1000.0 /
                      (static_cast<double>(duration) - static_cast<double>(lastDurationMs));
        bytesPerSecond = static_cast<int64_t>(std::llround(std::fmin(rate, 9.2e18)));
    }
    lastBytes = bytes;
    lastDurationMs = duration;
    double congestion = Number(streamStatus, "outputCongestion");
    double fps = Number(stats, "activeFps");

    json_t* update = json_object();
    json_object_set_new(update, "update-type", json_string("StreamStatus"));
    json_object_set_new(update, "streaming", json_boolean(ReadFlag(streamStatus, "outputActive")));
    json_object_set_new(update, "preview-only", json_false());
    json_object_set_new(update, "bytes-per-sec", json_integer(bytesPerSecond));
    json_object_set_new(update, "strain", json_real(std::isfinite(congestion) ? congestion * 100.0 : 0.0));
    json_object_set_new(update, "total-stream-time", json_integer(duration));
    json_object_set_new(update, "num-total-frames", json_integer(Whole(streamStatus, "outputTotalFrames")));
    json_object_set_new(update, "num-dropped-frames", json_integer(Whole(streamStatus, "outputSkippedFrames")));
    json_object_set_new(update, "fps", json_integer(std::isfinite(fps) && std::fabs(fps) < 1e9 ? std::llround(fps) : 0));
    return update;
}

std::string FailureText(const json_t* data)
{
    const json_t* status = ReadMember(data, "requestStatus");
    const char* comment = ReadString(status, "comment");
    if (comment != nullptr) {
        return comment;
    }
    const char* type = ReadString(data, "requestType");
    std::string text = type != nullptr ? type : "Request";
    text += " failed with code ";
    text += std::to_string(ReadInteger(status, "code"));
    return text;
}

} // namespace obsws
