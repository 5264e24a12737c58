// Updates that change the current scene's sources keep the records they do not delete: the
// script objects that hold them see the new values. (Texts and dumps are in tests/cases.)
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

class SceneUpdates : public ::testing::Test, protected MessageHarness {};

// A source change renames its record in place or appends one; an order keeps the named
// records and deletes the rest; a repopulation keeps the records it names again. Only the
// current scene changes.
TEST_F(SceneUpdates, SourceChangeOrderAndRepopulationKeepRecordsOfTheCurrentSceneOnly)
{
    Send(R"({"message-id":"1","current-scene":"Main","scenes":[{"name":"Other","sources":[{"name":"o"}]},)"
         R"({"name":"Main","sources":[{"name":"a","x":1.0},{"name":"b"},{"name":"c"}]}]})");
    host.Clear();
    SceneInfo* main = client.Model.FindScene("Main", false);
    SourceInfo* a = SceneModel::FindSource(main, "a", false);
    SourceInfo* b = SceneModel::FindSource(main, "b", false);
    Send(R"({"update-type":"SourceChanged","source-name":"B","source":)"
         R"({"render": true, "cy": 720.0, "x": 3.0, "name": "Webcam", "cx": 1280.0, "y": 4.0}})");
    EXPECT_EQ(SceneModel::SourceAt(main, 1), b);
    EXPECT_EQ(b->Name, "Webcam");
    EXPECT_EQ(SceneModel::FindSource(main, "b", false), nullptr);
    Send(R"({"update-type":"SourceChanged","source-name":"ghost","source":{"name":"ghost","render":true}})");
    EXPECT_EQ(Model().back(), R"(  source "ghost" render=1 x=0 y=0 cx=0 cy=0)");
    Send(R"({"update-type": "SourceOrderChanged", "sources": ["c", "x", "A", "webcam"]})");
    EXPECT_EQ(Model(), (Lines{
                           R"(current "Main")",
                           R"(scene "Other")",
                           R"(  source "o" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(scene "Main")",
                           R"(  source "c" render=0 x=0 y=0 cx=0 cy=0)",
                           R"(  source "a" render=0 x=1 y=0 cx=0 cy=0)",
                           R"(  source "Webcam" render=1 x=3 y=4 cx=1280 cy=720)",
                       }));
    EXPECT_EQ(SceneModel::SourceAt(main, 2), b);
    Send(R"({"update-type":"RepopulateSources","sources":[{"name":"new","render":true},{"name":"a","x":5.0}]})");
    EXPECT_EQ(SceneModel::FindSource(main, "a", false), a);
    EXPECT_EQ(a->X, 5.0);
    EXPECT_EQ(Model()[4], R"(  source "new" render=1 x=0 y=0 cx=0 cy=0)");
    EXPECT_EQ(Events(), (Lines{"OBSRemote:SourceChanged", "OBSRemote:SourceChanged", "OBSRemote:SourceOrderChanged",
                               "OBSRemote:RepopulateSources"}));
}

} // namespace
