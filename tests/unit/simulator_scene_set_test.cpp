// The simulator's scene files and console commands: the shipped example loads, broken
// files are refused with a reason, and commands change OBS's state.
#include <gtest/gtest.h>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_command.h"
#include "tools/simulator/sim_scene_set.h"

TEST(SimulatorSceneSet, LoadsTheExampleAndRefusesBrokenFilesWithAReason)
{
    SimSceneSet set;
    std::string error;
    ASSERT_TRUE(LoadSceneSetFile(HVE_SOURCE_DIR "/tools/simulator/scenes.example.json", set, error)) << error;
    for (const char* text : {"", "[]", R"({"scenes": [7]})", R"({"scenes": [{"sources": []}]})",
             R"({"scenes": [{"name": "A", "sources": [{"name": "s", "x": 1e300}]}]})",
             R"({"scenes": [{"name": "A", "sources": [{"name": "s", "render": 1}]}]})"})
        EXPECT_FALSE(ParseSceneSet(text, set, error = {}) || error.empty()) << text;
}

TEST(SimulatorCommands, ChangeObsStateAndRefuseNonsense)
{
    OBSSimulator sim; // not started: commands still change OBS's state
    for (const char* command : {"switch \"be right back\"", "add-source Late Clock", "reorder Late Clock, BRB Image",
             "volume mic 0.02", "preview start"})
        EXPECT_EQ(RunSimulatorCommand(sim, command).Reply, "ok") << command;
    EXPECT_EQ(sim.Scenes().CurrentScene + "|" + sim.Scenes().Scenes.at(2).Sources.back().Name, "Be Right Back|BRB Image");
    EXPECT_TRUE(sim.Status().MicMuted && sim.Status().Preview) << "a level under 0.05 counts as muted";
    for (const char* nonsense : {"volume mic 2", "volume mic x", "stream start", "switch Nowhere", "render Logo maybe", "rename \"unclosed"})
        EXPECT_NE(RunSimulatorCommand(sim, nonsense).Reply, "ok") << nonsense;
}
