// Changes made in OBS itself, reported by the OBS Remote plug-in while the real module is
// connected: they must reach the module's model and raise the script events in the order
// they happened; a real stream start is announced once; connections end and come back
// (by a script's Connect or automatically) without a failed password attempt.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace {

using Text = std::optional<std::string>;

class ModuleOBSChanges : public ModuleFixture {
protected:
    ModuleOBSChanges() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}) {}

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ModuleFixture::SetUp());
        ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    }

    // The values of members below OBSRemote, separated by "|", "-" for one without a value.
    std::string Values(const std::vector<std::string>& members)
    {
        std::string values;
        for (size_t i = 0; i < members.size(); ++i) {
            values += (i > 0 ? "|" : "") + Value("OBSRemote." + members[i]).value_or("-");
        }
        return values;
    }

    // Whether an announcement line is an HTTP request to the maker's service with this query.
    static bool Announces(const std::string& line, const std::string& query)
    {
        return line.rfind("http://", 0) == 0 && line.find("/tandemplay/hvetwitch?" + query) != std::string::npos;
    }
};

TEST_F(ModuleOBSChanges, SceneSourceAndVolumeChangesReachTheModelInOrder)
{
    size_t from = EventCount();
    // One burst, as OBS may send it, before the test looks at anything.
    ASSERT_TRUE(Sim->SwitchScene("Game"));
    ASSERT_TRUE(Sim->SetSourceRender("Webcam", false));
    ASSERT_TRUE(Sim->RenameSource("Webcam", "Camera"));
    ASSERT_TRUE(Sim->ReorderSources({"Game Capture"}));
    ASSERT_TRUE(Sim->AddSource(SimSource{"Overlay", 10.0f, 20.0f, 640.0f, 360.0f, true}));
    ASSERT_TRUE(Sim->RemoveSource("Alerts"));
    ASSERT_TRUE(Wait("OBSRemote:RepopulateSources"));
    ASSERT_TRUE(Wait("OBSRemote:RepopulateSources"));
    EXPECT_EQ(EventsSince(from),
        (std::vector<std::string>{"OBSRemote:SwitchScenes", "OBSRemote:SourceChanged", "OBSRemote:SourceChanged",
            "OBSRemote:SourceOrderChanged", "OBSRemote:RepopulateSources", "OBSRemote:RepopulateSources"}));
    EXPECT_EQ(EventsSince(from, "OBSRemote:SwitchScenes"), (std::vector<std::string>{R"(OBSRemote:SwitchScenes "Game")"}));

    EXPECT_EQ(SourceNames("CurrentScene"), "Camera,Game Capture,Overlay");
    // The renamed source keeps its fields and is found by its new name only.
    EXPECT_EQ(Values({"CurrentSceneName", "Scene[Intro].IsCurrentScene", "CurrentScene.Source[camera].Render",
                  "CurrentScene.Source[Camera].X", "CurrentScene.Source[Camera].Height",
                  "CurrentScene.Source[Overlay].Width", "CurrentScene.Source[Webcam]"}),
        "Game|false|false|960|180|640|-");
    // Another scene is untouched by changes to the current one.
    EXPECT_EQ(SourceNames("Scene[Intro]"), "Logo,Countdown");

    // Volume moves and mute toggles, with the texts the events carry.
    from = EventCount();
    Sim->SetVolume(SimChannel::Microphone, 0.25f, false);
    Sim->SetVolume(SimChannel::Microphone, 0.5f, true);
    Sim->ToggleMute(SimChannel::Microphone);
    Sim->SetVolume(SimChannel::Desktop, 0.75f, true);
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"desktop"}));
    EXPECT_EQ(EventsSince(from, "OBSRemote:VolumeChanged"),
        (std::vector<std::string>{R"(OBSRemote:VolumeChanged "microphone" "0" "0.2500" "0")",
            R"(OBSRemote:VolumeChanged "microphone" "0" "0.5000" "1")",
            R"(OBSRemote:VolumeChanged "microphone" "1" "0.0000" "1")",
            R"(OBSRemote:VolumeChanged "desktop" "0" "0.7500" "1")"}));
    EXPECT_EQ(Values({"MicrophoneVolume", "IsMicrophoneMuted", "DesktopVolume", "IsDesktopMuted"}), "0|true|0.75|false");

    Sim->ToggleMute(SimChannel::Microphone);
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"microphone", "0", "0.5000"}));
    EXPECT_EQ(Values({"MicrophoneVolume", "IsMicrophoneMuted"}), "0.5|false");
}

TEST_F(ModuleOBSChanges, StreamStatusFiguresAndOneAnnouncementPerRealStart)
{
    ASSERT_TRUE(Sim->StartStream(false));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "0"}));
    // The announcement is handed to the host before the event is raised.
    std::vector<std::string> announced = HttpLogLines();
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_TRUE(Announces(announced[0],
        "displayName=ExampleStreamer&kestrelKey=example-kestrel-key-0001&site=Twitch&client=hveobsremote"))
        << announced[0];
    EXPECT_EQ(Values({"IsStreaming", "IsPreview"}), "true|false");

    // The plug-in reports figures periodically; new figures show in the next report.
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0", "312500", "0.0000"}));
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0", "312500"}));
    Sim->SetStreamFigures(SimStreamFigures{400000, 0.25, 3, 60});
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0", "400000", "0.2500"}));
    EXPECT_EQ(Values({"Strain", "NumDroppedFrames", "FPS"}), "0.25|3|60");
    EXPECT_TRUE(Value("OBSRemote.TotalStreamTime") && Value("OBSRemote.NumTotalFrames")); // they run on

    ASSERT_TRUE(Sim->StopStream());
    ASSERT_TRUE(Wait("OBSRemote:StreamStopping", {"0", "0"}));
    EXPECT_EQ(Values({"IsStreaming"}), "false");

    // A preview is not announced.
    ASSERT_TRUE(Sim->StartStream(true));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "1"}));
    EXPECT_EQ(Values({"IsStreaming", "IsPreview"}), "true|true");
    ASSERT_TRUE(Sim->StopStream());
    ASSERT_TRUE(Wait("OBSRemote:StreamStopping", {"0", "1"}));
    EXPECT_EQ(HttpLogLines().size(), 1u);

    // The file is read at every start; its values are encoded, so they cannot cut the query.
    std::ofstream(Root / "Scripts/TwitchStreamInfo.XML", std::ios::trunc)
        << R"(<?xml version="1.0" encoding="utf-8"?><Settings><Setting name="KestrelKey">key&amp;site=Evil</Setting>)"
        << R"(<Setting name="StreamUser"></Setting><Setting name="TwitchUser">Night Owl</Setting></Settings>)";
    ASSERT_TRUE(Sim->StartStream(false));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "0"}));
    announced = HttpLogLines();
    ASSERT_EQ(announced.size(), 2u);
    EXPECT_TRUE(Announces(announced[1], "displayName=Night%20Owl&kestrelKey=key%26site%3DEvil&site=Twitch&client=hveobsremote"))
        << announced[1];
}

// The plug-in closes the connection: one Disconnected, the status is gone and the scene list
// kept, and the script's Connect is authenticated again by the module itself. With automatic
// reconnection switched on while connected, the next close is survived without a script call.
TEST_F(ModuleOBSChanges, ConnectionsEndAndComeBackWithoutAFailedPassword)
{
    const size_t from = EventCount();
    Sim->CloseAllConnections();
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
    // The event goes out just before the state is stored.
    ASSERT_TRUE(Eventually([&] { return Value("OBSRemote.State") == Text("Disconnected"); }));
    EXPECT_EQ(Values({"IsAuthenticated", "NumScenes"}), "-|3");

    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp"));
    EXPECT_EQ(Value("OBSRemote.IsAuthenticated"), Text("true"));
    // Everything up to the reconnect's Connecting: exactly one Disconnected.
    EXPECT_EQ(EventsSince(from, "OBSRemote:StateChanged"),
        (std::vector<std::string>{R"(OBSRemote:StateChanged "Disconnected")", R"(OBSRemote:StateChanged "Connecting")",
            R"(OBSRemote:StateChanged "Connected")", R"(OBSRemote:StateChanged "Ready")"}));
    Sim->SetVolume(SimChannel::Desktop, 0.5f, true);
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"desktop", "0", "0.5000", "1"}));
    EXPECT_EQ(Sim->FailedAuthAttempts(), 0);
    EXPECT_EQ(Sim->ConnectionsAccepted(), 2u);

    ASSERT_TRUE(Call("OBSRemote.SetAutoReconnect(true)"));
    Sim->CloseAllConnections();
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
    for (const char* state : {"Connecting", "Connected", "Ready"}) {
        ASSERT_TRUE(Wait("OBSRemote:StateChanged", {state}));
    }
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp"));
    EXPECT_EQ(Values({"ReconnectAttempt", "IsAuthenticated"}), "1|true");
    EXPECT_EQ(Sim->FailedAuthAttempts(), 0);
}

} // namespace
