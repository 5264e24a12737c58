// The plug-in's updates, driven through DispatchMessage: routing by type, the fields they
// keep current, the current scene's sources, and the event texts.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

class Updates : public ::testing::Test, protected MessageHarness {
protected:
    void GiveCurrentScene()
    {
        Send(R"({"message-id":"1","current-scene":"Main","scenes":[{"name":"Other","sources":[{"name":"o"}]},)"
             R"({"name":"Main","sources":[{"name":"a","x":1.0},{"name":"b"},{"name":"c"}]}]})");
        host.Clear();
    }
};

using UpdateRouting = Updates;

TEST_F(UpdateRouting, TypeIgnoresAsciiCase)
{
    Send(R"({"update-type":"switchscenes","scene-name":"a"})");
    Send(R"({"update-type":"SCENESCHANGED"})");
    Send(R"({"update-type":"ScenesChanged2"})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:SwitchScenes "a")", "OBSRemote:ScenesChanged"}));
}

using StreamUpdates = Updates;

TEST_F(StreamUpdates, StartingAndStoppingSetTheStreamingStatus)
{
    Send(R"({"update-type": "StreamStarting", "preview-only": true})");
    EXPECT_TRUE(client.IsStreaming.load());
    EXPECT_TRUE(client.IsPreview.load());
    EXPECT_TRUE(client.HaveStreamingStatus.load());
    Send(R"({"update-type":"StreamStopping","preview-only":true})");
    EXPECT_FALSE(client.IsStreaming.load());
    Send(R"({"update-type":"StreamStopping","streaming":true})");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStarting "1" "1")", R"(OBSRemote:StreamStopping "0" "1")",
                               R"(OBSRemote:StreamStopping "0" "0")"}));
}

TEST_F(StreamUpdates, StatusKeepsCountersAndLeavesStreamingStatusAlone)
{
    Send(R"({"num-dropped-frames": 4, "num-total-frames": 3, "streaming": true, "strain": 0.5, )"
         R"("update-type": "StreamStatus", "preview-only": false, "fps": 30, "bytes-per-sec": 1, "total-stream-time": 2})");
    EXPECT_FALSE(client.HaveStreamingStatus.load());
    EXPECT_TRUE(client.HaveStreamStats.load());
    EXPECT_TRUE(client.IsStreaming.load());
    EXPECT_EQ(client.FPS.load(), 30);
    // Counters are integers: beyond 32 bits, negative, or written as a real (which reads 0).
    Send(R"({"update-type":"StreamStatus","bytes-per-sec":9007199254740993,"total-stream-time":-5,)"
         R"("num-total-frames":3.0,"strain":1,"streaming":1})");
    EXPECT_EQ(Events(), (Lines{
                            R"(OBSRemote:StreamStatus "1" "0" "1" "0.5000" "2" "3" "4" "30")",
                            R"(OBSRemote:StreamStatus "0" "0" "9007199254740993" "0.0000" "-5" "0" "0" "0")",
                        }));
    EXPECT_EQ(client.BytesPerSecond.load(), 9007199254740993LL);
}

using SceneUpdates = Updates;

TEST_F(SceneUpdates, SwitchKeepsTheModelAndReportsTheReceivedSpelling)
{
    GiveCurrentScene();
    Lines before = Model();
    Send(R"({"update-type": "SwitchScenes", "scene-name": "OTHER"})");
    EXPECT_EQ(client.Model.CurrentScene(), client.Model.FindScene("Other", false));
    Send(R"({"update-type":"ScenesChanged"})");
    before[0] = R"(current "OTHER")";
    EXPECT_EQ(Model(), before);
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:SwitchScenes "OTHER")", "OBSRemote:ScenesChanged"}));
}

TEST_F(SceneUpdates, OrderAndRepopulationActOnTheCurrentSceneOnly)
{
    GiveCurrentScene();
    SourceInfo* a = client.Model.FindSource(client.Model.FindScene("Main", false), "a", false);
    Send(R"({"update-type": "SourceOrderChanged", "sources": ["c", "x", "A"]})");
    EXPECT_EQ(Model(), (Lines{
                           R"(current "Main")",
                           R"(scene "Other")",
                           R"(  source "o" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(scene "Main")",
                           R"(  source "c" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(  source "a" render=0 x=1 y=0 cx=0 cy=0)",
                       }));
    Send(R"({"update-type":"RepopulateSources","sources":[{"name":"new","render":true},{"name":"a","x":5.0}]})");
    EXPECT_EQ(client.Model.FindSource(client.Model.FindScene("Main", false), "a", false), a);
    EXPECT_EQ(a->X, 5.0);
    EXPECT_EQ(Model()[4], R"(  source "new" render=1 x=0 y=0 cx=0 cy=0)");
    EXPECT_EQ(Events(), (Lines{"OBSRemote:SourceOrderChanged", "OBSRemote:RepopulateSources"}));
}

TEST_F(SceneUpdates, WithoutACurrentSceneNothingChangesButEventsAreRaised)
{
    GiveCurrentScene();
    Send(R"({"update-type":"SwitchScenes","scene-name":"Nowhere"})");
    host.Clear();
    Lines before = Model();
    Send(R"({"update-type":"SourceOrderChanged","sources":[]})");
    Send(R"({"update-type":"RepopulateSources","sources":[]})");
    Send(R"({"update-type":"SourceChanged","source-name":"a","source":{"name":"z"}})");
    EXPECT_EQ(Model(), before);
    EXPECT_EQ(Events(), (Lines{"OBSRemote:SourceOrderChanged", "OBSRemote:RepopulateSources",
                               "OBSRemote:SourceChanged"}));
}

TEST_F(SceneUpdates, SourceChangeRenamesInPlaceOrAppends)
{
    GiveCurrentScene();
    SceneInfo* main = client.Model.FindScene("Main", false);
    SourceInfo* b = SceneModel::FindSource(main, "b", false);
    Send(R"({"update-type":"SourceChanged","source-name":"B","source":)"
         R"({"render": true, "cy": 720.0, "x": 3.0, "name": "Webcam", "cx": 1280.0, "y": 4.0}})");
    EXPECT_EQ(SceneModel::SourceAt(main, 1), b);
    EXPECT_EQ(b->Name, "Webcam");
    EXPECT_EQ(SceneModel::FindSource(main, "b", false), nullptr);
    Send(R"({"update-type":"SourceChanged","source-name":"ghost","source":{"name":"ghost","render":true}})");
    EXPECT_EQ(Model(), (Lines{
                           R"(current "Main")",
                           R"(scene "Other")",
                           R"(  source "o" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(scene "Main")",
                           R"(  source "a" render=0 x=1 y=0 cx=0 cy=0)",
                           R"(  source "Webcam" render=1 x=3 y=4 cx=1280 cy=720)",
                           R"(  source "c" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(  source "ghost" render=1 x=0 y=0 cx=0 cy=0)",
                       }));
    EXPECT_EQ(host.CountEvents("OBSRemote:SourceChanged"), 2u);
}

using VolumeUpdates = Updates;

TEST_F(VolumeUpdates, KeptChannelsAreStoredOthersOnlyReported)
{
    Send(R"({"update-type":"VolumeChanged","channel":"Desktop","volume":0.5,"muted":true,"finalValue":false})");
    EXPECT_TRUE(client.IsDesktopMuted.load());
    EXPECT_EQ(client.DesktopVolume.load(), 0.5);
    EXPECT_FALSE(client.HaveVolumes.load());
    Send(R"({"finalValue": true, "volume": 0.30000001192092896, "update-type": "VolumeChanged", "muted": false, )"
         R"("channel": "microphone"})");
    EXPECT_DOUBLE_EQ(client.MicrophoneVolume.load(), 0.30000001192092896);
    Send(R"({"update-type":"VolumeChanged","channel":"aux","volume":0.75,"muted":true,"finalValue":true})");
    Send(R"({"update-type":"VolumeChanged","channel":"desktop","volume":1,"muted":"true"})");
    EXPECT_EQ(client.DesktopVolume.load(), 0.0);
    EXPECT_EQ(Events(), (Lines{
                            R"(OBSRemote:VolumeChanged "Desktop" "1" "0.5000" "0")",
                            R"(OBSRemote:VolumeChanged "microphone" "0" "0.3000" "1")",
                            R"(OBSRemote:VolumeChanged "aux" "1" "0.7500" "1")",
                            R"(OBSRemote:VolumeChanged "desktop" "0" "0.0000" "0")",
                        }));
}

TEST_F(VolumeUpdates, OtherChannelChangesNoField)
{
    Lines before = DumpStatus(client);
    Send(R"({"update-type":"VolumeChanged","channel":"desktop2","volume":0.75,"muted":true})");
    EXPECT_EQ(DumpStatus(client), before);
}

} // namespace
