// Placeholder until the answer and update routing lands.
#include "client/dispatch.h"

void DispatchMessage(OBSRemoteClient&, json_t*) {}
