// The module's static objects, built when the module loads and destroyed when it unloads.
#pragma once

#include "client/obs_remote_client.h"

extern OBSRemoteClient g_Client;
