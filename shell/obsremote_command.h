// The script command "OBSRemote". Scripts reach the extension through its top-level object
// and types; the command exists so that the name is taken, and does nothing.
#pragma once

#include <cstdint>

int32_t OBSRemoteCommand(int32_t argc, const char* const* argv);
