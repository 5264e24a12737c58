// obs-websocket 5 data in the OBS Remote plug-in's form, for the handlers both protocols share.
// Pure functions: what they return is new (the caller releases it); nothing is changed.
#pragma once

#include <cstdint>
#include <string>

#include <jansson.h>

namespace obsws {

// A message made for the shared handlers to read, released when it goes out of scope.
struct Made {
    explicit Made(json_t* value) : Value(value) {}
    ~Made() { json_decref(Value); }
    Made(const Made&) = delete;
    Made& operator=(const Made&) = delete;
    json_t* Value;
};

// GetSceneItemList's "sceneItems" as the plug-in's "sources": OBS lists items bottom first
// (index 0 is drawn first); the plug-in's list, like OBS's own list on screen, starts at the
// top. Each source: "name" (sourceName), "render" (sceneItemEnabled), "x"/"y" (position),
// "cx"/"cy" (the transform's width and height: the size on the canvas). Items without a
// name are left out.
json_t* SourcesFromItems(const json_t* sceneItems);

// "5.1.0" -> 5.1: the major and minor version as one number; 0 when it does not begin with
// a digit.
double VersionNumber(const char* text);

// The plug-in's "StreamStatus" update from GetStreamStatus and GetStats answers. Bytes per
// second come from the change of the byte counter since the last poll (lastBytes and
// lastDurationMs are updated); strain is the congestion as a percentage; the stream time is
// in milliseconds, as the plug-in sends it; fps is GetStats' active frame rate, rounded.
json_t* StreamStatusUpdate(const json_t* streamStatus, const json_t* stats, int64_t& lastBytes, int64_t& lastDurationMs);

// The text of a failed request's "OBSRemote:Error": OBS's comment, or, where OBS gave none,
// "<requestType> failed with code <code>".
std::string FailureText(const json_t* data);

} // namespace obsws
