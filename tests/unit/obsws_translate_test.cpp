// obs-websocket 5 data in the plug-in's form: the conversions whose numbers the data cases
// cannot pin down (version texts, the byte rate across polls, failure texts).
#include <gtest/gtest.h>

#include "client/json_read.h"
#include "client/obsws/obsws_translate.h"
#include "tests/support/json_value.h"

TEST(ObsWsTranslate, VersionTexts)
{
    const struct {
        const char* Text;
        double Number;
    } cases[] = {{"5.1.0", 5.1}, {"5.10.2", 5.1}, {"28", 28.0}, {"12.345", 12.345}, {"v5", 0.0}, {"", 0.0}, {nullptr, 0.0}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(obsws::VersionNumber(c.Text), c.Number) << (c.Text != nullptr ? c.Text : "(none)");
    }
}

TEST(ObsWsTranslate, StreamStatusFromPolls)
{
    const struct {
        const char* Status;
        int64_t BytesPerSecond;
    } polls[] = {
        {R"({"outputActive":true,"outputBytes":125308,"outputDuration":2833,"outputTotalFrames":85,"outputSkippedFrames":1,"outputCongestion":0.25})",
         44232},
        {R"({"outputActive":true,"outputBytes":225308,"outputDuration":4833})", 50000},
        {R"({"outputActive":true,"outputBytes":225308,"outputDuration":4833})", 0}, // no time passed
        {R"({"outputActive":true,"outputBytes":1000,"outputDuration":1000})", 1000}, // a new stream
        {R"({"outputBytes":"x","outputDuration":-5})", 0},
    };
    int64_t lastBytes = 0, lastDuration = 0;
    JsonValue stats = ParseMessage(R"({"activeFps":29.97})");
    for (const auto& poll : polls) {
        JsonValue status = ParseMessage(poll.Status);
        JsonValue update(obsws::StreamStatusUpdate(status.get(), stats.get(), lastBytes, lastDuration));
        EXPECT_EQ(ReadInteger(update.get(), "bytes-per-sec"), poll.BytesPerSecond) << poll.Status;
        EXPECT_EQ(ReadInteger(update.get(), "fps"), 30);
    }
    JsonValue first = ParseMessage(polls[0].Status);
    lastBytes = lastDuration = 0;
    JsonValue update(obsws::StreamStatusUpdate(first.get(), stats.get(), lastBytes, lastDuration));
    EXPECT_EQ(ReadInteger(update.get(), "total-stream-time"), 2833);
    EXPECT_EQ(ReadInteger(update.get(), "num-total-frames"), 85);
    EXPECT_EQ(ReadInteger(update.get(), "num-dropped-frames"), 1);
    EXPECT_DOUBLE_EQ(ReadReal(update.get(), "strain"), 25.0);
    EXPECT_TRUE(ReadFlag(update.get(), "streaming"));
}

TEST(ObsWsTranslate, FailureTexts)
{
    const struct {
        const char* Answer;
        const char* Text;
    } cases[] = {
        {R"({"requestStatus":{"code":600,"comment":"No source was found by the name of `x`.","result":false},"requestType":"SetCurrentProgramScene"})",
         "No source was found by the name of `x`."},
        {R"({"requestStatus":{"code":500,"result":false},"requestType":"StartStream"})", "StartStream failed with code 500"},
        {R"({"requestStatus":7})", "Request failed with code 0"},
    };
    for (const auto& c : cases) {
        JsonValue answer = ParseMessage(c.Answer);
        EXPECT_EQ(obsws::FailureText(answer.get()), c.Text);
    }
}
