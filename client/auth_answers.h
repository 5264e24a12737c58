// Handlers of the two answers that concern authentication: error answers (where a rejected
// password shows) and the answer to GetAuthRequired.
#pragma once

#include <jansson.h>

class OBSRemoteClient;

void HandleErrorResponse(OBSRemoteClient& client, json_t* message);
void HandleAuthRequiredResponse(OBSRemoteClient& client, json_t* message);
