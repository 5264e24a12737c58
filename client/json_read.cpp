#include "client/json_read.h"

bool HasMember(const json_t* object, const char* key) { return json_object_get(object, key) != nullptr; }

json_t* ReadMember(const json_t* object, const char* key) { return json_object_get(object, key); }

const char* ReadString(const json_t* object, const char* key)
{
    return json_string_value(json_object_get(object, key));
}

double ReadReal(const json_t* object, const char* key) { return json_real_value(json_object_get(object, key)); }

int64_t ReadInteger(const json_t* object, const char* key)
{
    return static_cast<int64_t>(json_integer_value(json_object_get(object, key)));
}

bool ReadFlag(const json_t* object, const char* key) { return json_is_true(json_object_get(object, key)); }

size_t ArraySize(const json_t* array) { return json_array_size(array); }

json_t* ArrayElement(const json_t* array, size_t index) { return json_array_get(array, index); }

const char* ArrayString(const json_t* array, size_t index) { return json_string_value(json_array_get(array, index)); }
