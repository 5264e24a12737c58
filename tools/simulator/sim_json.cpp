#include "tools/simulator/sim_json.h"

#include <cstdlib>

std::string SimDump(const json_t* value)
{
    char* text = json_dumps(value, 0);
    if (text == nullptr)
        return std::string();
    std::string out(text);
    std::free(text);
    return out;
}

void SimSetName(json_t* object, const char* key, const std::string& name)
{
    if (!name.empty())
        json_object_set_new(object, key, json_stringn(name.data(), name.size()));
}

void SimAppendName(json_t* array, const std::string& name)
{
    if (!name.empty())
        json_array_append_new(array, json_stringn(name.data(), name.size()));
}

bool SimEqualsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}
