// The host stand-in's built-in types: thirteen names in lookup order, each turning a value
// into text cut to the caller's buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/haven/builtin_types.h"
#include "haven/ks_type_definition.h"

TEST(HavenBuiltinTypes, ThirteenTypesTurnValuesIntoTextCutToTheBuffer)
{
    std::vector<KSTypeDefinition*> types = CreateBuiltinTypes();
    std::string names;
    for (KSTypeDefinition* type : types)
        names += std::string(type->TypeName) + " ";
    EXPECT_EQ(names, "string int int64 uint bool float float64 time byte intptr boolptr floatptr byteptr ");
    auto textOf = [&types](size_t index, KSValue value, uint32_t size = 64) {
        std::vector<char> buffer(size + 1, 'z'); // a refusal must leave the buffer alone
        return types.at(index)->ToText(value, buffer.data(), size) ? std::string(buffer.data())
                                                                   : buffer[0] == 'z' ? "<none>" : "<written>";
    };

    KSValue value;
    value.Pointer = const_cast<char*>("Intro scene");
    EXPECT_EQ(textOf(0, value, 6), "Intro");
    EXPECT_EQ(textOf(0, value, 0), "<none>");
    value.Pointer = nullptr;
    EXPECT_EQ(textOf(0, value) + "|" + textOf(9, value), "|<none>");
    value.UInt64 = 0xFFFFFFFF00000001ull; // a bool writes only the low 32 bits
    EXPECT_EQ(textOf(4, value), "true");
    value.Int64 = -5000000000LL;
    EXPECT_EQ(textOf(2, value, 4), "-50");
    value = KSValue();
    value.SetLow32(static_cast<uint32_t>(-7));
    EXPECT_EQ(textOf(1, value) + "|" + textOf(3, value), "-7|4294967289");
    DestroyBuiltinTypes(types);
}
