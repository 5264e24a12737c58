// Owning handle for a decoded JSON value in tests, benchmarks and fuzz targets, and the
// parse the session applies to each received message.
#pragma once

#include <memory>
#include <string>

#include <jansson.h>

struct JsonRelease {
    void operator()(json_t* value) const { json_decref(value); }
};
using JsonValue = std::unique_ptr<json_t, JsonRelease>;

// As the session parses: the first complete value is decoded, anything behind it ignored.
inline JsonValue ParseMessage(const std::string& text)
{
    return JsonValue(json_loads(text.c_str(), JSON_DISABLE_EOF_CHECK, nullptr));
}
