// The simulator's scene files and console commands: the shipped example loads, broken
// files are refused with a reason, and commands change OBS's state.
#include <gtest/gtest.h>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_command.h"
#include "tools/simulator/sim_scene_set.h"

TEST(SimulatorSceneSet, LoadsTheShippedExample)
{
    SimSceneSet set;
    std::string error;
    ASSERT_TRUE(LoadSceneSetFile(HVE_SOURCE_DIR "/tools/simulator/scenes.example.json", set, error)) << error;
    EXPECT_EQ(set.CurrentScene, "Intro");
    ASSERT_GE(set.Scenes.size(), 3u);
    EXPECT_FALSE(set.Scenes[0].Sources.empty());
}

TEST(SimulatorSceneSet, RefusesBrokenFilesWithAReason)
{
    const char* broken[] = {
        "", "[]", "{}", R"({"scenes": 5})", R"({"scenes": [7]})", R"({"scenes": [{"sources": []}]})",
        R"({"scenes": [{"name": "A", "sources": [{"name": "s", "x": "1"}]}]})",
        R"({"scenes": [{"name": "A", "sources": [{"name": "s", "x": 1e300}]}]})",
        R"({"scenes": [{"name": "A", "sources": [{"name": "s", "render": 1}]}]})",
        R"({"scenes": [], "current-scene": 3})",
    };
    for (const char* text : broken) {
        SimSceneSet set;
        std::string error;
        EXPECT_FALSE(ParseSceneSet(text, set, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    SimSceneSet set;
    std::string error;
    ASSERT_TRUE(ParseSceneSet(R"({"scenes": [{"name": "Only"}]})", set, error)) << error;
    EXPECT_EQ(set.CurrentScene, "Only") << "the first scene is current when none is named";
    EXPECT_FALSE(LoadSceneSetFile("/nonexistent/scenes.json", set, error));
}

TEST(SimulatorCommands, ChangeObsStateAndRefuseNonsense)
{
    OBSSimulator sim; // not started: commands still change OBS's state
    EXPECT_EQ(RunSimulatorCommand(sim, "switch \"be right back\"").Reply, "ok");
    EXPECT_EQ(sim.Scenes().CurrentScene, "Be Right Back");
    EXPECT_EQ(RunSimulatorCommand(sim, "add-source Late Clock").Reply, "ok");
    EXPECT_EQ(RunSimulatorCommand(sim, "render \"Late Clock\" off").Reply, "ok");
    EXPECT_FALSE(sim.Scenes().Scenes[2].Sources.back().Render);
    EXPECT_EQ(RunSimulatorCommand(sim, "reorder Late Clock, BRB Image").Reply, "ok");
    EXPECT_EQ(sim.Scenes().Scenes[2].Sources.back().Name, "BRB Image");
    EXPECT_EQ(RunSimulatorCommand(sim, "volume mic 0.02").Reply, "ok");
    EXPECT_TRUE(sim.Status().MicMuted);
    EXPECT_NE(RunSimulatorCommand(sim, "volume mic 2").Reply, "ok");
    EXPECT_NE(RunSimulatorCommand(sim, "volume mic x").Reply, "ok");
    EXPECT_EQ(RunSimulatorCommand(sim, "preview start").Reply, "ok");
    EXPECT_TRUE(sim.Status().Preview);
    EXPECT_NE(RunSimulatorCommand(sim, "stream start").Reply, "ok");
    EXPECT_NE(RunSimulatorCommand(sim, "switch Nowhere").Reply, "ok");
    EXPECT_NE(RunSimulatorCommand(sim, "render Logo maybe").Reply, "ok");
    EXPECT_NE(RunSimulatorCommand(sim, "rename \"unclosed").Reply, "ok");
    EXPECT_TRUE(RunSimulatorCommand(sim, "quit").Quit);
    EXPECT_FALSE(RunSimulatorCommand(sim, "").Quit);
}
