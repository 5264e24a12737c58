// Small helpers around jansson for the simulator: an owning handle and the plug-in's way
// of writing messages.
#pragma once

#include <jansson.h>

#include <memory>
#include <string>

struct SimJsonRelease {
    void operator()(json_t* value) const { json_decref(value); }
};
using SimJson = std::unique_ptr<json_t, SimJsonRelease>;

// The plug-in serialises with flags 0: spaced separators, reals with 17 significant digits
// and always a "." or an exponent, "/" and non-ASCII left as they are.
std::string SimDump(const json_t* value);

// The plug-in drops a name key altogether when the name is empty (its conversion helper
// yields no value for an empty text), and so do we.
void SimSetName(json_t* object, const char* key, const std::string& name);
void SimAppendName(json_t* array, const std::string& name);

// ASCII-only case folding, as OBS's scene lookup and the channel names use.
bool SimEqualsIgnoringCase(const std::string& a, const std::string& b);
