// How the script types read argument texts: flags, real numbers, the index-or-name rule and
// the copy into the host's text buffer. Scripts can pass anything, so hostile texts too. The
// ordinary cases run through the script types' own tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "script/script_arguments.h"

using Texts = std::initializer_list<const char*>;

TEST(ScriptArguments, FlagsNumbersAndPositionsReadOnlyWhatFits)
{
    for (const char* text : {"tRuE", " 3", "1e3", "2abc", ".5", "+7"})
        EXPECT_TRUE(ReadFlagArgument(text)) << text;
    for (const char* text : Texts{"truex", "tru", " true", "0.0", "-0", "e5", ".", "-", "0x10", "inf", "nan", "1e-999",
                                  nullptr})
        EXPECT_FALSE(ReadFlagArgument(text)) << text;

    const double inf = std::numeric_limits<double>::infinity();
    const std::string manyNines(100000, '9');
    const std::string tiny = "0." + std::string(100000, '0') + "1";
    for (const auto& [text, value] : std::vector<std::pair<const char*, double>>{
             {"  -1.25xyz", -1.25}, {"2e2", 200}, {"2e", 2}, {"2e+", 2}, {"3.", 3}, {"1,5", 1}, {"mic", 0}, {"", 0},
             {nullptr, 0}, {"1e999", inf}, {"-1e999", -inf}, {"1e-999", 0}, {"1e99999999999999999999999", inf},
             {manyNines.c_str(), inf}, {tiny.c_str(), 0}})
        EXPECT_EQ(ReadRealArgument(text), value) << text;

    EXPECT_EQ(NarrowToFloat(-1e300), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(NarrowToFloat(std::numeric_limits<double>::quiet_NaN())));

    // Selector positions are plain digits, counted from 1 and saturated.
    const std::string huge(100000, '9');
    uint32_t position = 77;
    for (const auto& [text, expected] : std::vector<std::pair<const char*, uint32_t>>{
             {"3", 2}, {"007", 6}, {"99999999999999999999", 2147483646u}, {huge.c_str(), 2147483646u}})
        EXPECT_TRUE(SelectorPosition(text, position) && position == expected) << text << " gave " << position;
    // Numeric without a position, or not numeric at all: the caller looks the text up as a name.
    for (const char* text : Texts{"-", ".", "-.5", ".9", "+1", " 1", "--1", "1-", "1e3", "1a", "", nullptr})
        EXPECT_FALSE(SelectorPosition(text, position)) << text;
}

TEST(ScriptArguments, MissingArgumentsReadAsEmptyAndCopiesAreCutAndTerminated)
{
    const char* argv[] = {"a", nullptr};
    EXPECT_STREQ(ArgumentText(2, argv, 0), "a");
    for (int32_t index : {1, 2, -1})
        EXPECT_STREQ(ArgumentText(2, argv, index), "") << index;
    EXPECT_STREQ(ArgumentText(3, nullptr, 0), "");

    char buffer[6];
    std::memset(buffer, 'z', sizeof(buffer));
    EXPECT_TRUE(CopyTextToBuffer("HVEOBSRemote", buffer, 6));
    EXPECT_STREQ(buffer, "HVEOB");
    EXPECT_FALSE(CopyTextToBuffer("ab", buffer, 0)) << "no room for the terminator";
    EXPECT_FALSE(CopyTextToBuffer("ab", nullptr, 6)) << "no buffer";
}
