// Reading values out of the plug-in's messages. The rules are those of jansson's accessors,
// made explicit because the model and the events depend on them:
//   - a member of anything but an object is absent;
//   - a string is read only from a JSON string (otherwise none);
//   - a real is read only from a JSON real: an integer such as 2 reads as 0.0;
//   - an integer is read only from a JSON integer: a real reads as 0;
//   - a flag is true only for JSON true ("true", 1 and null are all false);
//   - an array's size is 0 for anything but an array; an element past the end is none.
#pragma once

#include <cstddef>
#include <cstdint>

#include <jansson.h>

// Whether the key exists, whatever its value.
bool HasMember(const json_t* object, const char* key);
json_t* ReadMember(const json_t* object, const char* key);
const char* ReadString(const json_t* object, const char* key);
double ReadReal(const json_t* object, const char* key);
int64_t ReadInteger(const json_t* object, const char* key);
bool ReadFlag(const json_t* object, const char* key);

size_t ArraySize(const json_t* array);
json_t* ArrayElement(const json_t* array, size_t index);
// The string value of an element of an array of names, or none.
const char* ArrayString(const json_t* array, size_t index);
