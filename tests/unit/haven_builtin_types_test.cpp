// The host stand-in's built-in types: thirteen names in lookup order, each turning a value
// into text cut to the caller's buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/haven/builtin_types.h"
#include "script/ks_type_definition.h"

namespace {

std::string TextOf(KSTypeDefinition* type, KSValue value, uint32_t size = 64)
{
    std::vector<char> buffer(size, 'z');
    if (!type->ToText(value, buffer.data(), size)) {
        return "<none>";
    }
    return buffer.data();
}

} // namespace

TEST(HavenBuiltinTypes, ThirteenTypesTurnValuesIntoText)
{
    std::vector<KSTypeDefinition*> types = CreateBuiltinTypes();
    const char* const names[] = {"string", "int",  "int64",  "uint",    "bool",     "float",  "float64",
                                 "time",   "byte", "intptr", "boolptr", "floatptr", "byteptr"};
    ASSERT_EQ(types.size(), 13u);
    for (size_t i = 0; i < types.size(); ++i) {
        EXPECT_STREQ(types[i]->TypeName, names[i]);
    }

    KSValue value;
    value.Pointer = const_cast<char*>("Intro scene");
    EXPECT_EQ(TextOf(types[0], value), "Intro scene");
    EXPECT_EQ(TextOf(types[0], value, 6), "Intro");
    value.Pointer = nullptr;
    EXPECT_EQ(TextOf(types[0], value), "");

    value.UInt64 = 0xFFFFFFFF00000000ull | 1u; // a bool writes only the low 32 bits
    EXPECT_EQ(TextOf(types[4], value), "true");
    value.UInt64 = 0xFFFFFFFF00000000ull;
    EXPECT_EQ(TextOf(types[4], value), "false");
    value.Int64 = -5000000000LL;
    EXPECT_EQ(TextOf(types[2], value), "-5000000000");
    EXPECT_EQ(TextOf(types[2], value, 4), "-50");
    value.Float64 = 0.25;
    EXPECT_EQ(TextOf(types[6], value), "0.25");
    value = KSValue();
    value.SetLow32(static_cast<uint32_t>(-7));
    EXPECT_EQ(TextOf(types[1], value), "-7");
    EXPECT_EQ(TextOf(types[3], value), "4294967289");

    int32_t number = 12;
    value.Pointer = &number;
    EXPECT_EQ(TextOf(types[9], value), "12");
    value.Pointer = nullptr;
    EXPECT_EQ(TextOf(types[9], value), "<none>");

    char buffer[4] = "abc";
    EXPECT_FALSE(types[0]->ToText(value, buffer, 0));
    EXPECT_STREQ(buffer, "abc");

    DestroyBuiltinTypes(types);
    EXPECT_TRUE(types.empty());
}
