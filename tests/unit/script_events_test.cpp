// The event table: names, registration order and the ids kept for raising.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/obs_remote_client.h"
#include "script/script_events.h"
#include "tests/support/recording_host.h"

namespace {

const std::vector<std::string> ExpectedNames = {
    "OBSRemote:StateChanged",     "OBSRemote:Error",           "OBSRemote:AuthAccepted",
    "OBSRemote:AuthFailed",       "OBSRemote:VersionRsp",      "OBSRemote:VolumesRsp",
    "OBSRemote:AuthRequiredRsp",  "OBSRemote:StreamStatusRsp", "OBSRemote:SceneListRsp",
    "OBSRemote:CurrentSceneRsp",  "OBSRemote:StreamStarting",  "OBSRemote:StreamStopping",
    "OBSRemote:StreamStatus",     "OBSRemote:SwitchScenes",    "OBSRemote:ScenesChanged",
    "OBSRemote:SourceOrderChanged", "OBSRemote:RepopulateSources", "OBSRemote:SourceChanged",
    "OBSRemote:VolumeChanged",
};

// Answers ids that differ from the positions, so a mixed-up store shows.
class ShiftedIdHost : public RecordingHost {
public:
    EventId RegisterEvent(const char* name) override { return 100 + 7 * RecordingHost::RegisterEvent(name); }
};

TEST(ScriptEvents, RegistersEachEventOnceInOrderAndKeepsItsId)
{
    ShiftedIdHost host;
    ClientHostLink link;
    RegisterScriptEvents(&host, link);

    std::vector<std::string> expectedCalls;
    for (const std::string& name : ExpectedNames) {
        expectedCalls.push_back("RegisterEvent " + name);
    }
    EXPECT_EQ(host.Calls(), expectedCalls);
    for (uint32_t index = 0; index < ClientEventCount; ++index) {
        EXPECT_EQ(link.EventIds[index].load(), 100 + 7 * (index + 1)) << ExpectedNames[index];
        EXPECT_EQ(ScriptEventName(static_cast<ClientEvent>(index)), ExpectedNames[index]);
    }
    EXPECT_STREQ(ScriptEventName(static_cast<ClientEvent>(ClientEventCount)), "");
}

TEST(ScriptEvents, WithoutHostNothingIsStored)
{
    ClientHostLink link;
    RegisterScriptEvents(nullptr, link);
    for (uint32_t index = 0; index < ClientEventCount; ++index) {
        EXPECT_EQ(link.EventIds[index].load(), 0u);
    }
}

} // namespace
