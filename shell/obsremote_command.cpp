#include "shell/obsremote_command.h"

int32_t OBSRemoteCommand(int32_t, const char* const*) { return 0; }
