// The simulator's scene files, console commands and salt file: the shipped example loads,
// broken files are refused with a reason, commands change OBS's state, and the salt is kept
// across restarts as OBS keeps it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_command.h"
#include "tools/simulator/sim_salt_file.h"
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

// OBS keeps its salt with the password: the same password finds its salt again, another
// password or a file that is not the simulator's gets a new one (stored in its place).
TEST(SimulatorSaltFile, KeepsTheSaltForTheSamePasswordOnly)
{
    const std::string path = testing::TempDir() + "hve-salt-file-test";
    std::remove(path.c_str());
    std::string first, again, other, error;
    ASSERT_TRUE(LoadOrStoreSalt(path, "admin", first, error)) << error;
    ASSERT_TRUE(LoadOrStoreSalt(path, "admin", again, error));
    EXPECT_EQ(again, first);
    EXPECT_EQ(first.size(), 44u);
    ASSERT_TRUE(LoadOrStoreSalt(path, "changed", other, error));
    EXPECT_NE(other, first);
    {
        std::ofstream garbage(path, std::ios::trunc);
        garbage << std::string(10000, '\n') << "\x01\x02" << std::string(5000, 'z');
    }
    std::string fresh;
    ASSERT_TRUE(LoadOrStoreSalt(path, "changed", fresh, error));
    EXPECT_NE(fresh, other);
    EXPECT_EQ(fresh.size(), 44u);
    std::remove(path.c_str());
    EXPECT_FALSE(LoadOrStoreSalt("/nonexistent-folder/salt", "admin", fresh, error));
    EXPECT_FALSE(error.empty());
}
