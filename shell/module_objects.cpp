// Both objects live in this one file because their order matters: the client is built
// first and destroyed last, so the frame element factory can rely on it throughout.
#include "shell/module_objects.h"
#include "shell/frame_element_factory.h"

OBSRemoteClient g_Client;
FrameElementType g_FrameElementType;

// The frame element factory is defined here, after the client.
