// Both objects live in this one file because their order matters: the client is built
// first and destroyed last, so the frame element factory can rely on it throughout.
#include "shell/module_objects.h"

OBSRemoteClient g_Client;

// The frame element factory is defined here, after the client.
