// The event table: the nineteen names in the order the host registers them, made from the
// client's event list. Scripts subscribe by these names, so they never change.
#include "script/script_events.h"

#include "client/obs_remote_client.h"
#include "haven/host_interface.h"

namespace {

#define HVE_SCRIPT_EVENT_NAME(name) "OBSRemote:" #name,
const char* const EventNames[] = {HVE_CLIENT_EVENTS(HVE_SCRIPT_EVENT_NAME)};
#undef HVE_SCRIPT_EVENT_NAME
static_assert(sizeof(EventNames) / sizeof(EventNames[0]) == ClientEventCount);

} // namespace

const char* ScriptEventName(ClientEvent event)
{
    uint32_t index = static_cast<uint32_t>(event);
    return index < ClientEventCount ? EventNames[index] : "";
}

void RegisterScriptEvents(HostInterface* host, ClientHostLink& link)
{
    if (host == nullptr) {
        return;
    }
    for (uint32_t index = 0; index < ClientEventCount; ++index) {
        link.EventIds[index].store(host->RegisterEvent(EventNames[index]));
    }
}
