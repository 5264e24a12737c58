// The havenhost program's command line.
#pragma once

#include <string>

#include "platform/haven/haven_host.h"

namespace haven {

struct ProgramOptions {
    HostOptions Host;
    std::string ModulePath; // empty: the default module
    std::string ScriptPath; // empty: lines come from standard input
    bool StopOnError = false;
    bool ShowHelp = false;
};

// False with `error` filled for an unknown option, a missing value or a bad number.
bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options, std::string& error);
std::string ProgramUsage();
// HVEOBSRemote next to the program, else the one of the build tree, else the bare name.
std::string DefaultModulePath(const std::string& programPath);

} // namespace haven
