// The program's console: one line typed on standard input makes one change in OBS.
#pragma once

#include <string>

class OBSSimulator;

struct SimCommandResult {
    std::string Reply; // "ok", "error: ...", or what was asked for
    bool Quit = false;
};

SimCommandResult RunSimulatorCommand(OBSSimulator& simulator, const std::string& line);

// The command summary printed by "help" and --help.
const char* SimulatorCommandHelp();
