#include "client/dispatch.h"

#include "client/answers.h"
#include "client/auth_answers.h"
#include "client/json_read.h"
#include "client/name_compare.h"
#include "client/obs_remote_client.h"
#include "client/updates.h"

namespace {

using AnswerHandler = void (*)(OBSRemoteClient&, json_t*);

struct AnswerRoute {
    const char* Key;
    AnswerHandler Handler;
};

// Which request an answer belongs to shows only in its keys. The first key present picks
// the handler, whatever its value: "streaming": false is still a streaming-status answer.
const AnswerRoute AnswerRoutes[] = {
    {"authRequired", HandleAuthRequiredResponse},
    {"streaming", OnStreamingStatusResponse},
    {"scenes", OnSceneListResponse},
    {"sources", OnCurrentSceneResponse},
    {"version", OnVersionResponse},
    {"mic-volume", OnVolumesResponse},
};

// Error answers come first, whatever else they carry.
void RouteAnswer(OBSRemoteClient& client, json_t* message)
{
    if (NamesEqualIgnoringCase(ReadString(message, "status"), "error")) {
        HandleErrorResponse(client, message);
        return;
    }
    for (const AnswerRoute& route : AnswerRoutes) {
        if (HasMember(message, route.Key)) {
            route.Handler(client, message);
            return;
        }
    }
}

} // namespace

// Our requests carry their id as a string and the plug-in echoes it, so a string
// "message-id" marks an answer; everything else is an update. A decoded array is neither.
void DispatchMessage(OBSRemoteClient& client, json_t* message)
{
    if (!json_is_object(message)) {
        return;
    }
    if (json_is_string(ReadMember(message, "message-id"))) {
        RouteAnswer(client, message);
    } else {
        RouteUpdate(client, message);
    }
}
