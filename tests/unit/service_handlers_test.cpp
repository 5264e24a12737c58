// The five host services the extension connects to: no notification does anything.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "shell/module_objects.h"
#include "shell/module_state.h"
#include "shell/service_handlers.h"
#include "tests/support/recording_host.h"

namespace {

TEST(ServiceHandlers, EveryNotificationOfEveryServiceChangesNothingAndPrintsNothing)
{
    RecordingHost host;
    g_Module.Host = &host;
    g_Client.Link.Host.store(&host);

    ServiceHandler handlers[] = {&PulseServiceHandler, &MemoryServiceHandler, &HttpServiceHandler,
                                 &TriggersServiceHandler, &SystemServiceHandler};
    unsigned char record[64];
    std::memset(record, 0xA5, sizeof record);
    unsigned char before[sizeof record];
    std::memcpy(before, record, sizeof record);
    ModuleState moduleBefore = g_Module;
    uint32_t stateBefore = g_Client.State.load();

    for (ServiceHandler handler : handlers) {
        for (uint32_t message : {0u, 1u, 2u, 1001u, 1002u, 0xFFFFFFFFu}) {
            handler(&host, message, record);
            handler(nullptr, message, nullptr);
        }
    }

    EXPECT_EQ(std::memcmp(record, before, sizeof record), 0);
    EXPECT_EQ(std::memcmp(&g_Module, &moduleBefore, sizeof g_Module), 0);
    EXPECT_EQ(g_Client.State.load(), stateBefore);
    EXPECT_TRUE(host.Lines().empty());
    EXPECT_TRUE(host.Events().empty());
    EXPECT_TRUE(host.Requests().empty());
    EXPECT_TRUE(host.Calls().empty());

    g_Client.Link.Host.store(nullptr);
    g_Module.Host = nullptr;
}

} // namespace
