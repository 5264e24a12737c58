// The event table: names, registration order and the ids kept for raising.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/obs_remote_client.h"
#include "script/script_events.h"
#include "tests/support/recording_host.h"

namespace {

// Answers ids that differ from the positions, so a mixed-up store shows.
class ShiftedIdHost : public RecordingHost {
public:
    EventId RegisterEvent(const char* name) override { return 100 + 7 * RecordingHost::RegisterEvent(name); }
};

// The names themselves are checked against the script writer's reference; without a host
// nothing is stored.
TEST(ScriptEvents, RegistersEachEventOnceInOrderAndKeepsItsId)
{
    ShiftedIdHost host;
    ClientHostLink link, unlinked;
    RegisterScriptEvents(&host, link);
    RegisterScriptEvents(nullptr, unlinked);
    std::vector<std::string> expectedCalls;
    for (uint32_t index = 0; index < ClientEventCount; ++index) {
        expectedCalls.push_back(std::string("RegisterEvent ") + ScriptEventName(static_cast<ClientEvent>(index)));
        EXPECT_EQ(link.EventIds[index].load(), 100 + 7 * (index + 1)) << index;
        EXPECT_EQ(unlinked.EventIds[index].load(), 0u) << index;
    }
    EXPECT_EQ(host.Calls(), expectedCalls);
    EXPECT_STREQ(ScriptEventName(static_cast<ClientEvent>(ClientEventCount)), "");
}

} // namespace
