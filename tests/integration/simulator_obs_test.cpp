// What OBS does behind the simulated plug-in: scene switches, source order and render
// state, streaming, volumes, and the updates each change sends.
#include <gtest/gtest.h>

#include <jansson.h>

#include <chrono>
#include <string>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_raw_client.h"

namespace {

std::string Text(const SimJson& message, const char* key)
{
    json_t* value = json_object_get(message.get(), key);
    return json_is_string(value) ? json_string_value(value) : std::string("<absent>");
}

bool Flag(const SimJson& message, const char* key) { return json_is_true(json_object_get(message.get(), key)); }
double Number(const SimJson& message, const char* key) { return json_real_value(json_object_get(message.get(), key)); }

class SimulatedObsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // OBS-side changes reach only connections the server has taken in.
        ASSERT_TRUE(Sim.Start(0) && Client.Connect("127.0.0.1", Sim.Port()) &&
            Sim.WaitForConnectionCount(1, std::chrono::seconds(5)));
    }

    // The answer to a request; Next() then reads the updates it caused, in order.
    SimJson Ask(const std::string& request) { return Client.SendText(request) ? Next() : SimJson(nullptr); }
    SimJson Next() { return SimJson(json_loads(Client.ReadText().value_or("").c_str(), 0, nullptr)); }
    std::string Status(const std::string& request) { return Text(Ask(request), "status"); }

    // Answers and updates share one ordered queue, so nothing else was queued if the
    // next frame answers a fresh request.
    void ExpectNothingPending() { EXPECT_EQ(Text(Ask(R"({"request-type":"GetVersion","message-id":"s"})"), "message-id"), "s"); }

    OBSSimulator Sim{[] {
        OBSSimulatorOptions options;
        options.UseAuth = false;
        options.StatusInterval = std::chrono::hours(1); // tests send StreamStatus themselves
        return options;
    }()};
    SimRawClient Client;
};

} // namespace

TEST_F(SimulatedObsTest, SwitchesScenesIgnoringCaseAndEchoesTheRequestedSpelling)
{
    EXPECT_EQ(Status(R"({"request-type":"SetCurrentScene","scene-name":"gAME","message-id":"1"})"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type") + " " + Text(update, "scene-name"), "SwitchScenes gAME");
    EXPECT_EQ(Text(Ask(R"({"request-type":"GetCurrentScene"})"), "name"), "Game");
    // Unknown, current and non-text names change nothing and send no update.
    for (const char* name : {R"("Nowhere")", R"("GAME")", "7"})
        EXPECT_EQ(Status(R"({"request-type":"SetCurrentScene","scene-name":)" + std::string(name) + "}"), "ok") << name;
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, MovesListedSourcesToTheBottomOfTheCurrentScene)
{
    // Intro holds Logo, Countdown; add a third so a partial list shows the rule.
    ASSERT_TRUE(Sim.AddSource({"Clock", 0, 0, 100, 50, true}));
    EXPECT_EQ(Text(Next(), "update-type"), "RepopulateSources");
    EXPECT_EQ(Status(R"({"request-type":"SetSourceOrder","scene-names":["Logo","nobody","clock"]})"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type") + " " + SimDump(json_object_get(update.get(), "sources")),
        R"(SourceOrderChanged ["Countdown", "Clock", "Logo"])");
    EXPECT_EQ(Status(R"({"request-type":"SetSourceOrder","scene-names":"Logo"})"), "ok");
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, ChangesRenderStateOnlyOnRealChanges)
{
    EXPECT_EQ(Status(R"({"request-type":"SetSourceRender","source":"Logo","render":false})"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type") + " " + Text(update, "source-name"), "SourceChanged Logo");
    EXPECT_TRUE(json_is_false(json_object_get(json_object_get(update.get(), "source"), "render")));
    EXPECT_EQ(Status(R"({"request-type":"SetSourceRender","source":"logo","render":false})"), "ok");
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, TogglesStreamingAndPreview)
{
    EXPECT_EQ(Status(R"({"request-type":"StartStopStreaming","preview-only":"true"})"), "ok");
    SimJson starting = Next();
    EXPECT_EQ(Text(starting, "update-type"), "StreamStarting");
    EXPECT_FALSE(Flag(starting, "preview-only")) << "only the literal true asks for a preview";
    ASSERT_TRUE(Sim.SendStreamStatus());
    EXPECT_EQ(Text(Next(), "update-type"), "StreamStatus");

    // Asking for a preview while a real stream runs stops it, reported as a preview.
    EXPECT_EQ(Status(R"({"request-type":"StartStopStreaming","preview-only":true})"), "ok");
    SimJson stopping = Next();
    EXPECT_EQ(Text(stopping, "update-type"), "StreamStopping");
    EXPECT_TRUE(Flag(stopping, "preview-only"));
    EXPECT_FALSE(Sim.SendStreamStatus()) << "no figures while idle";
}

TEST_F(SimulatedObsTest, SetsAndMutesVolumesTheWayObsDoes)
{
    EXPECT_EQ(Status(R"({"request-type":"SetVolume","volume":0.3,"final":false,"channel":"Microphone"})"), "ok");
    SimJson moved = Next();
    EXPECT_EQ(Text(moved, "channel"), "microphone");
    EXPECT_DOUBLE_EQ(Number(moved, "volume"), static_cast<double>(0.3f));
    EXPECT_FALSE(Flag(moved, "muted") || Flag(moved, "finalValue"));
    Ask(R"({"request-type":"ToggleMute","channel":"MICROPHONE"})");
    SimJson muted = Next();
    EXPECT_TRUE(Flag(muted, "muted") && Flag(muted, "finalValue"));
    EXPECT_EQ(Number(muted, "volume"), 0.0);
    Ask(R"({"request-type":"ToggleMute","channel":"microphone"})");
    EXPECT_DOUBLE_EQ(Number(Next(), "volume"), static_cast<double>(0.3f)) << "unmuting brings the level back";
    Ask(R"({"request-type":"SetVolume","volume":7,"final":true,"channel":"desktop"})");
    EXPECT_EQ(Number(Next(), "volume"), 1.0) << "out-of-range volumes are clamped";
}
