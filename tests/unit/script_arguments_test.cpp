// How the script types read argument texts: flags, real numbers, the index-or-name rule and
// the copy into the host's text buffer. Scripts can pass anything, so hostile texts too.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <string>

#include "script/script_arguments.h"

TEST(ScriptArguments, FlagIsTrueForTrueInAnyCaseOrANonZeroNumber)
{
    for (const char* text : {"TRUE", "true", "True", "tRuE", "1", "-2", "0.5", " 3", "1e3", "2abc", ".5", "+7"}) {
        EXPECT_TRUE(ReadFlagArgument(text)) << text;
    }
    for (const char* text : {"false", "0", "yes", "", "on", "off", "truex", "tru", " true", "0.0", "-0", "e5", ".",
                             "-", "0x10", "inf", "nan", "1e-999"}) {
        EXPECT_FALSE(ReadFlagArgument(text)) << text;
    }
    EXPECT_FALSE(ReadFlagArgument(nullptr));
}

TEST(ScriptArguments, RealNumbersStopAtTheFirstCharacterThatDoesNotFit)
{
    EXPECT_DOUBLE_EQ(ReadRealArgument("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(ReadRealArgument("  -1.25xyz"), -1.25);
    EXPECT_DOUBLE_EQ(ReadRealArgument("2e2"), 200.0);
    EXPECT_DOUBLE_EQ(ReadRealArgument("2e"), 2.0);
    EXPECT_DOUBLE_EQ(ReadRealArgument("2e+"), 2.0);
    EXPECT_DOUBLE_EQ(ReadRealArgument("3."), 3.0);
    EXPECT_DOUBLE_EQ(ReadRealArgument("1,5"), 1.0) << "the decimal point is always a full stop";
    EXPECT_DOUBLE_EQ(ReadRealArgument("mic"), 0.0);
    EXPECT_DOUBLE_EQ(ReadRealArgument(""), 0.0);
    EXPECT_DOUBLE_EQ(ReadRealArgument(nullptr), 0.0);
    EXPECT_EQ(ReadRealArgument("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadRealArgument("-1e999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadRealArgument("1e-999"), 0.0);
    EXPECT_EQ(ReadRealArgument("1e99999999999999999999999"), std::numeric_limits<double>::infinity());

    const std::string manyDigits(100000, '9');
    EXPECT_EQ(ReadRealArgument(manyDigits.c_str()), std::numeric_limits<double>::infinity());
    const std::string tiny = "0." + std::string(100000, '0') + "1";
    EXPECT_EQ(ReadRealArgument(tiny.c_str()), 0.0);
}

TEST(ScriptArguments, NarrowingToFloatSaturatesToInfinity)
{
    EXPECT_EQ(NarrowToFloat(0.5), 0.5f);
    EXPECT_EQ(NarrowToFloat(1e300), std::numeric_limits<float>::infinity());
    EXPECT_EQ(NarrowToFloat(-1e300), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(NarrowToFloat(std::numeric_limits<double>::quiet_NaN())));
}

TEST(ScriptArguments, SelectorPositionCountsFromOneAndSaturates)
{
    uint32_t position = 77;
    EXPECT_TRUE(SelectorPosition("1", position));
    EXPECT_EQ(position, 0u);
    EXPECT_TRUE(SelectorPosition("1.9", position));
    EXPECT_EQ(position, 0u);
    EXPECT_TRUE(SelectorPosition("3", position));
    EXPECT_EQ(position, 2u);
    EXPECT_TRUE(SelectorPosition("007", position));
    EXPECT_EQ(position, 6u);
    EXPECT_TRUE(SelectorPosition("99999999999999999999", position));
    EXPECT_EQ(position, 2147483646u);
    const std::string huge(100000, '9');
    EXPECT_TRUE(SelectorPosition(huge.c_str(), position));
    EXPECT_EQ(position, 2147483646u);

    // Numeric but no position: the caller looks the text up as a name instead.
    for (const char* text : {"0", "-1", "-", ".", "-99999999999999999999", "-.5", ".9"}) {
        EXPECT_FALSE(SelectorPosition(text, position)) << text;
    }
    // Not numeric at all.
    for (const char* text : {"", "intro", "1a", "+1", " 1", "--1", "1-", "1e3"}) {
        EXPECT_FALSE(SelectorPosition(text, position)) << text;
    }
    EXPECT_FALSE(SelectorPosition(nullptr, position));
}

TEST(ScriptArguments, MissingArgumentsReadAsEmptyTexts)
{
    const char* argv[] = {"a", nullptr};
    EXPECT_STREQ(ArgumentText(2, argv, 0), "a");
    EXPECT_STREQ(ArgumentText(2, argv, 1), "");
    EXPECT_STREQ(ArgumentText(2, argv, 2), "");
    EXPECT_STREQ(ArgumentText(2, argv, -1), "");
    EXPECT_STREQ(ArgumentText(3, nullptr, 0), "");
}

TEST(ScriptArguments, TextIsCutToTheBufferAndAlwaysTerminated)
{
    char buffer[6];
    std::memset(buffer, 'z', sizeof(buffer));
    EXPECT_TRUE(CopyTextToBuffer("HVEOBSRemote", buffer, 6));
    EXPECT_STREQ(buffer, "HVEOB");
    EXPECT_TRUE(CopyTextToBuffer("HVEOBSRemote", buffer, 1));
    EXPECT_STREQ(buffer, "");
    EXPECT_TRUE(CopyTextToBuffer("ab", buffer, 6));
    EXPECT_STREQ(buffer, "ab");
    EXPECT_FALSE(CopyTextToBuffer("ab", buffer, 0));
    EXPECT_FALSE(CopyTextToBuffer("ab", nullptr, 6));
}
