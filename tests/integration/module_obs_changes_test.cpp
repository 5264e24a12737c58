// Changes made in OBS itself, reported by the OBS Remote plug-in while the real module is
// connected: they must reach the module's model and raise the script events in the order
// they happened; a real stream start is announced once; connections end and come back
// without a failed password attempt.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace {

using Text = std::optional<std::string>;

const char* const AnnouncementPath = "/tandemplay/hvetwitch?";

class ModuleOBSChanges : public ModuleFixture {
protected:
    ModuleOBSChanges() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}) {}

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ModuleFixture::SetUp());
        ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    }

    std::string SourceNames(const std::string& scene)
    {
        std::string names;
        const int count = std::stoi(Value(scene + ".NumSources").value_or("0"));
        for (int i = 1; i <= count; ++i) {
            names += (i > 1 ? "|" : "") + Value(scene + ".Source[" + std::to_string(i) + "]").value_or("?");
        }
        return names;
    }
};

TEST_F(ModuleOBSChanges, SceneAndSourceChangesReachTheModelInOrder)
{
    const size_t from = EventCount();
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

    EXPECT_EQ(Value("OBSRemote.CurrentSceneName"), Text("Game"));
    EXPECT_EQ(Value("OBSRemote.Scene[Intro].IsCurrentScene"), Text("false"));
    EXPECT_EQ(SourceNames("OBSRemote.CurrentScene"), "Camera|Game Capture|Overlay");
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[Camera].Render"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[Overlay].Width"), Text("640"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[Webcam]"), std::nullopt);
    // Another scene is untouched by changes to the current one.
    EXPECT_EQ(SourceNames("OBSRemote.Scene[Intro]"), "Logo|Countdown");
}

TEST_F(ModuleOBSChanges, RenamedSourceKeepsItsPlaceAndFields)
{
    ASSERT_TRUE(Sim->RenameSource("Countdown", "Timer"));
    ASSERT_TRUE(Wait("OBSRemote:SourceChanged"));
    EXPECT_EQ(SourceNames("OBSRemote.CurrentScene"), "Logo|Timer");
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[2].Width"), Text("1280"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[Countdown]"), std::nullopt);

    ASSERT_TRUE(Sim->SetSourceRender("Timer", false));
    ASSERT_TRUE(Wait("OBSRemote:SourceChanged"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[timer].Render"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.NumSources"), Text("2"));
}

TEST_F(ModuleOBSChanges, VolumeMovesAndMuteReachTheStatus)
{
    const size_t from = EventCount();
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
    EXPECT_EQ(Value("OBSRemote.MicrophoneVolume"), Text("0"));
    EXPECT_EQ(Value("OBSRemote.IsMicrophoneMuted"), Text("true"));
    EXPECT_EQ(Value("OBSRemote.DesktopVolume"), Text("0.75"));
    EXPECT_EQ(Value("OBSRemote.IsDesktopMuted"), Text("false"));

    Sim->ToggleMute(SimChannel::Microphone);
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"microphone", "0", "0.5000"}));
    EXPECT_EQ(Value("OBSRemote.MicrophoneVolume"), Text("0.5"));
    EXPECT_EQ(Value("OBSRemote.IsMicrophoneMuted"), Text("false"));
}

TEST_F(ModuleOBSChanges, StreamStatusFiguresAndOneAnnouncementPerRealStart)
{
    ASSERT_TRUE(Sim->StartStream(false));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "0"}));
    // The announcement is handed to the host before the event is raised.
    std::vector<std::string> announced = HttpLogLines();
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0].rfind("http://", 0), 0u) << announced[0];
    EXPECT_NE(announced[0].find(std::string(AnnouncementPath) +
                  "displayName=ExampleStreamer&kestrelKey=example-kestrel-key-0001&site=Twitch&client=hveobsremote"),
        std::string::npos)
        << announced[0];
    EXPECT_EQ(Value("OBSRemote.IsStreaming"), Text("true"));
    EXPECT_EQ(Value("OBSRemote.IsPreview"), Text("false"));

    // The plug-in reports figures periodically; new figures show in the next report.
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0", "312500", "0.0000"}));
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0", "312500"}));
    Sim->SetStreamFigures(SimStreamFigures{400000, 0.25, 3, 60});
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0", "400000", "0.2500"}));
    EXPECT_EQ(Value("OBSRemote.Strain"), Text("0.25"));
    EXPECT_EQ(Value("OBSRemote.NumDroppedFrames"), Text("3"));
    EXPECT_EQ(Value("OBSRemote.FPS"), Text("60"));
    EXPECT_NE(Value("OBSRemote.TotalStreamTime"), std::nullopt);
    EXPECT_NE(Value("OBSRemote.NumTotalFrames"), std::nullopt);

    ASSERT_TRUE(Sim->StopStream());
    ASSERT_TRUE(Wait("OBSRemote:StreamStopping", {"0", "0"}));
    EXPECT_EQ(Value("OBSRemote.IsStreaming"), Text("false"));

    // A preview is not announced.
    ASSERT_TRUE(Sim->StartStream(true));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "1"}));
    EXPECT_EQ(Value("OBSRemote.IsPreview"), Text("true"));
    ASSERT_TRUE(Sim->StopStream());
    ASSERT_TRUE(Wait("OBSRemote:StreamStopping", {"0", "1"}));
    EXPECT_EQ(HttpLogLines().size(), 1u);

    // The file is read at every start; its values are encoded, so they cannot cut the query.
    {
        std::ofstream info(Root / "Scripts/TwitchStreamInfo.XML", std::ios::trunc);
        info << R"(<?xml version="1.0" encoding="utf-8"?>
<Settings>
  <Setting name="KestrelKey">key&amp;site=Evil</Setting>
  <Setting name="StreamUser"></Setting>
  <Setting name="TwitchUser">Night Owl</Setting>
</Settings>
)";
    }
    ASSERT_TRUE(Sim->StartStream(false));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "0"}));
    announced = HttpLogLines();
    ASSERT_EQ(announced.size(), 2u);
    EXPECT_NE(announced[1].find(std::string(AnnouncementPath) +
                  "displayName=Night%20Owl&kestrelKey=key%26site%3DEvil&site=Twitch&client=hveobsremote"),
        std::string::npos)
        << announced[1];
}

TEST_F(ModuleOBSChanges, ConnectionsEndAndComeBackWithoutAFailedPassword)
{
    // A script's disconnect and reconnect: the module answers the new challenge itself.
    ASSERT_NO_FATAL_FAILURE(Disconnect());
    size_t from = EventCount();
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp"));
    EXPECT_EQ(Value("OBSRemote.IsAuthenticated"), Text("true"));
    ASSERT_TRUE(Sim->SwitchScene("Game"));
    ASSERT_TRUE(Wait("OBSRemote:SwitchScenes", {"Game"}));
    EXPECT_TRUE(EventsSince(from, "OBSRemote:AuthFailed").empty());

    // The plug-in closes the connection: one Disconnected, and the status is gone.
    from = EventCount();
    Sim->CloseAllConnections();
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
    // The event goes out just before the state is stored.
    ASSERT_TRUE(Eventually([&] { return Value("OBSRemote.State") == Text("Disconnected"); }));
    EXPECT_EQ(Value("OBSRemote.IsAuthenticated"), std::nullopt);
    EXPECT_EQ(Value("OBSRemote.NumScenes"), Text("3"));

    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp"));
    // Everything up to the reconnect's Connecting: exactly one Disconnected.
    std::vector<std::string> states = EventsSince(from, "OBSRemote:StateChanged");
    EXPECT_EQ(states, (std::vector<std::string>{R"(OBSRemote:StateChanged "Disconnected")",
                          R"(OBSRemote:StateChanged "Connecting")", R"(OBSRemote:StateChanged "Connected")",
                          R"(OBSRemote:StateChanged "Ready")"}));
    Sim->SetVolume(SimChannel::Desktop, 0.5f, true);
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"desktop", "0", "0.5000", "1"}));
    EXPECT_EQ(Sim->FailedAuthAttempts(), 0);
    EXPECT_EQ(Sim->ConnectionsAccepted(), 3u);
}

} // namespace
