#include "platform/haven/builtin_types.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "haven/ks_type_definition.h"

namespace {

// Writes the text of a value into the buffer, cut to fit and terminated; false when the
// value has no text (a null pointer of a pointer type).
typedef bool (*ValueFormatter)(const KSValue& value, char* text, size_t size);

bool Put(char* buffer, uint32_t size, const char* text)
{
    if (buffer == nullptr || size == 0) {
        return false;
    }
    const size_t length = strnlen(text, static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return true;
}

float FloatOf(uint32_t bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

bool FormatInt(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%" PRId32, static_cast<int32_t>(value.Low32()));
    return true;
}

bool FormatInt64(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%" PRId64, value.Int64);
    return true;
}

bool FormatUint(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%" PRIu32, value.Low32());
    return true;
}

// Only the low 32 bits of a bool are written, so only they are read.
bool FormatBool(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%s", value.Low32() != 0 ? "true" : "false");
    return true;
}

bool FormatFloat(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%g", static_cast<double>(FloatOf(value.Low32())));
    return true;
}

bool FormatFloat64(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%.15g", value.Float64);
    return true;
}

bool FormatByte(const KSValue& value, char* text, size_t size)
{
    std::snprintf(text, size, "%u", static_cast<unsigned>(value.UInt64 & 0xFFu));
    return true;
}

bool FormatIntPtr(const KSValue& value, char* text, size_t size)
{
    if (value.Pointer == nullptr) {
        return false;
    }
    std::snprintf(text, size, "%" PRId32, *static_cast<const int32_t*>(value.Pointer));
    return true;
}

bool FormatBoolPtr(const KSValue& value, char* text, size_t size)
{
    if (value.Pointer == nullptr) {
        return false;
    }
    std::snprintf(text, size, "%s", *static_cast<const bool*>(value.Pointer) ? "true" : "false");
    return true;
}

bool FormatFloatPtr(const KSValue& value, char* text, size_t size)
{
    if (value.Pointer == nullptr) {
        return false;
    }
    std::snprintf(text, size, "%g", static_cast<double>(*static_cast<const float*>(value.Pointer)));
    return true;
}

bool FormatBytePtr(const KSValue& value, char* text, size_t size)
{
    if (value.Pointer == nullptr) {
        return false;
    }
    std::snprintf(text, size, "%u", static_cast<unsigned>(*static_cast<const uint8_t*>(value.Pointer)));
    return true;
}

class BuiltinType : public KSTypeDefinition {
public:
    BuiltinType(const char* name, ValueFormatter formatter) : KSTypeDefinition(name), Formatter(formatter) {}

    bool ToText(KSValue value, char* buffer, uint32_t size) override
    {
        char text[64];
        if (!Formatter(value, text, sizeof(text))) {
            return false;
        }
        return Put(buffer, size, text);
    }

private:
    ValueFormatter Formatter;
};

// A string value is the address of its text; the text is whoever made it's, and is copied
// here straight into the caller's buffer, however long it is.
class StringType : public KSTypeDefinition {
public:
    StringType() : KSTypeDefinition("string") {}

    bool ToText(KSValue value, char* buffer, uint32_t size) override
    {
        const char* text = static_cast<const char*>(value.Pointer);
        return Put(buffer, size, text != nullptr ? text : "");
    }
};

} // namespace

std::vector<KSTypeDefinition*> CreateBuiltinTypes()
{
    return {
        new StringType,
        new BuiltinType("int", FormatInt),
        new BuiltinType("int64", FormatInt64),
        new BuiltinType("uint", FormatUint),
        new BuiltinType("bool", FormatBool),
        new BuiltinType("float", FormatFloat),
        new BuiltinType("float64", FormatFloat64),
        new BuiltinType("time", FormatInt64),
        new BuiltinType("byte", FormatByte),
        new BuiltinType("intptr", FormatIntPtr),
        new BuiltinType("boolptr", FormatBoolPtr),
        new BuiltinType("floatptr", FormatFloatPtr),
        new BuiltinType("byteptr", FormatBytePtr),
    };
}

void DestroyBuiltinTypes(std::vector<KSTypeDefinition*>& types)
{
    for (KSTypeDefinition* type : types) {
        delete type;
    }
    types.clear();
}
