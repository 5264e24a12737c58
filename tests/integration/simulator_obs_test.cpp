// What OBS does behind the simulated plug-in: scene switches, source order and render
// state, streaming, volumes, and the updates each change sends.
#include <gtest/gtest.h>

#include <jansson.h>

#include <chrono>
#include <string>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_json.h"
#include "tools/simulator/sim_raw_client.h"

using namespace std::chrono_literals;

namespace {

SimJson Parse(const std::optional<std::string>& text)
{
    return SimJson(text ? json_loads(text->c_str(), 0, nullptr) : nullptr);
}

std::string Text(const SimJson& message, const char* key)
{
    json_t* value = json_object_get(message.get(), key);
    return json_is_string(value) ? json_string_value(value) : std::string("<absent>");
}

bool Flag(const SimJson& message, const char* key)
{
    return json_is_true(json_object_get(message.get(), key));
}

std::string Names(const SimJson& message, const char* key)
{
    std::string names;
    json_t* list = json_object_get(message.get(), key);
    for (size_t i = 0; i < json_array_size(list); ++i) {
        json_t* item = json_array_get(list, i);
        if (json_is_object(item))
            item = json_object_get(item, "name");
        names += (names.empty() ? "" : ",") + std::string(json_is_string(item) ? json_string_value(item) : "?");
    }
    return names;
}

class SimulatedObsTest : public ::testing::Test {
protected:
    SimulatedObsTest() : Sim(NoAuth()) {}

    static OBSSimulatorOptions NoAuth()
    {
        OBSSimulatorOptions options;
        options.UseAuth = false;
        options.StatusInterval = std::chrono::hours(1); // tests trigger StreamStatus themselves
        return options;
    }

    void SetUp() override
    {
        ASSERT_TRUE(Sim.Start(0));
        ASSERT_TRUE(Client.Connect("127.0.0.1", Sim.Port()));
        // OBS-side changes reach only connections the server has taken in.
        ASSERT_TRUE(Sim.WaitForConnectionCount(1, 5s));
    }

    // The answer to a request, then the updates it caused, in order.
    SimJson Ask(const std::string& request)
    {
        EXPECT_TRUE(Client.SendText(request));
        return Next();
    }
    SimJson Next() { return Parse(Client.ReadText()); }

    void ExpectNothingPending()
    {
        SimJson next = Ask(R"({"request-type":"GetVersion","message-id":"sentinel"})");
        EXPECT_EQ(Text(next, "message-id"), "sentinel") << SimDump(next.get());
    }

    OBSSimulator Sim;
    SimRawClient Client;
};

} // namespace

TEST_F(SimulatedObsTest, SwitchesScenesIgnoringCaseAndEchoesTheRequestedSpelling)
{
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetCurrentScene","scene-name":"gAME","message-id":"1"})"), "status"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type"), "SwitchScenes");
    EXPECT_EQ(Text(update, "scene-name"), "gAME");
    EXPECT_EQ(Text(Ask(R"({"request-type":"GetCurrentScene"})"), "name"), "Game");

    EXPECT_EQ(Text(Ask(R"({"request-type":"SetCurrentScene","scene-name":"Nowhere"})"), "status"), "ok");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetCurrentScene","scene-name":"GAME"})"), "status"), "ok");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetCurrentScene","scene-name":7})"), "status"), "ok");
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, MovesListedSourcesToTheBottomOfTheCurrentScene)
{
    // Intro holds Logo, Countdown; add a third so a partial list shows the rule.
    ASSERT_TRUE(Sim.AddSource({"Clock", 0, 0, 100, 50, true}));
    EXPECT_EQ(Names(Next(), "sources"), "Logo,Countdown,Clock");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceOrder","scene-names":["Logo","nobody","clock"]})"), "status"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type"), "SourceOrderChanged");
    EXPECT_EQ(Names(update, "sources"), "Countdown,Clock,Logo");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceOrder","scene-names":"Logo"})"), "status"), "ok");
    ExpectNothingPending();
}

TEST_F(SimulatedObsTest, ChangesRenderStateOnlyOnRealChanges)
{
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceRender","render":true})"), "error"), "No source specified");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceRender","source":"Logo","render":1})"), "error"), "No render specified");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceRender","source":"Logo","render":false})"), "status"), "ok");
    SimJson update = Next();
    EXPECT_EQ(Text(update, "update-type"), "SourceChanged");
    EXPECT_EQ(Text(update, "source-name"), "Logo");
    json_t* source = json_object_get(update.get(), "source");
    EXPECT_TRUE(json_is_false(json_object_get(source, "render")));
    EXPECT_TRUE(json_is_real(json_object_get(source, "cx")));
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceRender","source":"Logo","render":false})"), "status"), "ok");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetSourceRender","source":"logo","render":true})"), "status"), "ok");
    ExpectNothingPending();

    ASSERT_TRUE(Sim.RenameSource("Logo", "Brand"));
    SimJson renamed = Next();
    EXPECT_EQ(Text(renamed, "source-name"), "Logo");
    EXPECT_STREQ(json_string_value(json_object_get(json_object_get(renamed.get(), "source"), "name")), "Brand");
    ASSERT_TRUE(Sim.RemoveSource("Countdown"));
    SimJson repopulated = Next();
    EXPECT_EQ(Text(repopulated, "update-type"), "RepopulateSources");
    EXPECT_EQ(Names(repopulated, "sources"), "Brand");
}

TEST_F(SimulatedObsTest, TogglesStreamingAndPreview)
{
    EXPECT_EQ(Text(Ask(R"({"request-type":"StartStopStreaming","preview-only":"true"})"), "status"), "ok");
    SimJson starting = Next();
    EXPECT_EQ(Text(starting, "update-type"), "StreamStarting");
    EXPECT_FALSE(Flag(starting, "preview-only")) << "only the literal true asks for a preview";
    SimJson status = Ask(R"({"request-type":"GetStreamingStatus"})");
    EXPECT_TRUE(Flag(status, "streaming"));

    ASSERT_TRUE(Sim.SendStreamStatus());
    SimJson figures = Next();
    EXPECT_EQ(Text(figures, "update-type"), "StreamStatus");
    EXPECT_TRUE(json_is_integer(json_object_get(figures.get(), "total-stream-time")));
    EXPECT_TRUE(json_is_real(json_object_get(figures.get(), "strain")));

    // Asking for a preview while a real stream runs stops it, reported as a preview.
    EXPECT_EQ(Text(Ask(R"({"request-type":"StartStopStreaming","preview-only":true})"), "status"), "ok");
    SimJson stopping = Next();
    EXPECT_EQ(Text(stopping, "update-type"), "StreamStopping");
    EXPECT_TRUE(Flag(stopping, "preview-only"));
    SimJson idle = Ask(R"({"request-type":"GetStreamingStatus"})");
    EXPECT_FALSE(Flag(idle, "streaming"));
    EXPECT_FALSE(Flag(idle, "preview-only"));
    EXPECT_FALSE(Sim.SendStreamStatus());

    Ask(R"({"request-type":"StartStopStreaming","preview-only":true})");
    EXPECT_TRUE(Flag(Next(), "preview-only"));
    EXPECT_TRUE(Sim.Status().Preview);
}

TEST_F(SimulatedObsTest, SendsStreamStatusPeriodicallyWhileRunning)
{
    OBSSimulatorOptions options;
    options.UseAuth = false;
    options.StatusInterval = 20ms;
    OBSSimulator fast(options);
    ASSERT_TRUE(fast.Start(0));
    SimRawClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", fast.Port()));
    ASSERT_TRUE(fast.WaitForConnectionCount(1, 5s));
    ASSERT_TRUE(fast.StartStream(true));
    EXPECT_EQ(Text(Parse(client.ReadText()), "update-type"), "StreamStarting");
    for (int i = 0; i < 2; ++i) {
        SimJson status = Parse(client.ReadText());
        EXPECT_EQ(Text(status, "update-type"), "StreamStatus");
        EXPECT_TRUE(Flag(status, "streaming"));
        EXPECT_TRUE(Flag(status, "preview-only"));
    }
}

TEST_F(SimulatedObsTest, MutesAndSetsVolumesTheWayObsDoes)
{
    EXPECT_EQ(Text(Ask(R"({"request-type":"ToggleMute"})"), "error"), "Channel not specified.");
    EXPECT_EQ(Text(Ask(R"({"request-type":"ToggleMute","channel":"speaker"})"), "error"), "Invalid channel specified.");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetVolume","final":true,"channel":"mic"})"), "error"), "Volume not specified.");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetVolume","volume":"1","channel":"x"})"), "error"), "Volume not number.");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetVolume","volume":1})"), "error"), "Final not specified.");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetVolume","volume":1,"final":0})"), "error"), "Final is not a boolean.");
    EXPECT_EQ(Text(Ask(R"({"request-type":"SetVolume","volume":1,"final":true})"), "error"), "Channel not specified.");
    ExpectNothingPending();

    EXPECT_EQ(Text(Ask(R"({"request-type":"SetVolume","volume":0.3,"final":false,"channel":"Microphone"})"), "status"), "ok");
    SimJson moved = Next();
    EXPECT_EQ(Text(moved, "channel"), "microphone");
    EXPECT_DOUBLE_EQ(json_real_value(json_object_get(moved.get(), "volume")), static_cast<double>(0.3f));
    EXPECT_FALSE(Flag(moved, "muted"));
    EXPECT_FALSE(Flag(moved, "finalValue"));

    Ask(R"({"request-type":"ToggleMute","channel":"MICROPHONE"})");
    SimJson muted = Next();
    EXPECT_TRUE(Flag(muted, "muted"));
    EXPECT_TRUE(Flag(muted, "finalValue"));
    EXPECT_EQ(json_real_value(json_object_get(muted.get(), "volume")), 0.0);
    SimJson volumes = Ask(R"({"request-type":"GetVolumes"})");
    EXPECT_TRUE(Flag(volumes, "mic-muted"));
    EXPECT_FALSE(Flag(volumes, "desktop-muted"));
    Ask(R"({"request-type":"ToggleMute","channel":"microphone"})");
    EXPECT_DOUBLE_EQ(json_real_value(json_object_get(Next().get(), "volume")), static_cast<double>(0.3f));

    // Out-of-range volumes are clamped; a level under 0.05 counts as muted.
    Ask(R"({"request-type":"SetVolume","volume":7,"final":true,"channel":"desktop"})");
    EXPECT_EQ(json_real_value(json_object_get(Next().get(), "volume")), 1.0);
    Ask(R"({"request-type":"SetVolume","volume":0.01,"final":true,"channel":"desktop"})");
    EXPECT_TRUE(Flag(Next(), "muted"));
    Ask(R"({"request-type":"ToggleMute","channel":"desktop"})");
    EXPECT_EQ(json_real_value(json_object_get(Next().get(), "volume")), 1.0);
}

TEST_F(SimulatedObsTest, LeavesNamesOutWhenTheyAreEmpty)
{
    SimSceneSet odd;
    odd.Scenes.push_back({"", {{"", 0, 0, 1, 1, true}, {"a\"b\\c/é", 0, 0, 1, 1, true}}});
    Sim.ReplaceScenes(odd);
    EXPECT_EQ(Text(Next(), "update-type"), "ScenesChanged");
    Client.SendText(R"({"request-type":"GetCurrentScene"})");
    std::optional<std::string> raw = Client.ReadText();
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->find("\"name\": \"\""), std::string::npos) << *raw;
    EXPECT_NE(raw->find(R"("a\"b\\c/é")"), std::string::npos) << *raw;
    SimJson list = Ask(R"({"request-type":"GetSceneList"})");
    EXPECT_EQ(json_object_get(list.get(), "current-scene"), nullptr);
}
