// Services of the host stand-in: who may use or withdraw a service, and what an offered
// service hears when its clients come and go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/haven/service_registry.h"

namespace {

using haven::RequestOutcome;

std::vector<std::string> Heard; // "offered 1", "consumer 1", "host HTTP 1001"...
void* LastRecord = nullptr;     // what the offered service heard last

void OfferedHandler(void*, uint32_t message, void* record)
{
    Heard.push_back("offered " + std::to_string(message));
    LastRecord = record;
}
void ConsumerHandler(void*, uint32_t message, void*) { Heard.push_back("consumer " + std::to_string(message)); }

class HavenServiceRegistryTest : public ::testing::Test {
protected:
    HavenServiceRegistryTest() { Heard.clear(); }

    haven::ServiceRegistry Registry{[](const std::string& service, uint32_t request, void*) { Heard.push_back("host " + service + " " + std::to_string(request)); }};
    int Provider = 0, Consumer = 0, Stranger = 0; // only their addresses matter
};

TEST_F(HavenServiceRegistryTest, OnlyOwnersUseEndOrWithdrawAndTheProviderHearsOneRecordPerClient)
{
    EXPECT_EQ(Registry.Offer(&Provider, "HTTP", OfferedHandler), 0u) << "host service names are taken";
    const ServiceHandle handle = Registry.Offer(&Provider, "Mine", OfferedHandler);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(Registry.Offer(&Stranger, "Mine", OfferedHandler), 0u);
    const ServiceConnection connection = Registry.Connect(&Consumer, "Mine", ConsumerHandler);
    const auto* record = static_cast<haven::ServiceClientRecord*>(LastRecord);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->Client == &Consumer && record->Connection == connection);
    int payload = 5;
    EXPECT_EQ(Registry.Request(&Stranger, connection, 1001, &payload), RequestOutcome::NoSuchConnection);
    EXPECT_EQ(Registry.Request(&Consumer, connection, 1001, &payload), RequestOutcome::Delivered);
    EXPECT_EQ(LastRecord, &payload);
    Registry.Disconnect(&Stranger, connection);
    Registry.Withdraw(&Stranger, handle);
    EXPECT_TRUE(Registry.IsOffered("Mine"));
    Registry.Disconnect(&Consumer, connection);
    EXPECT_EQ(LastRecord, record) << "the same record identifies the client";

    // A withdrawn service lets go of its clients once, and is not called again.
    const ServiceConnection again = Registry.Connect(&Consumer, "Mine", ConsumerHandler);
    Registry.Withdraw(&Provider, handle);
    EXPECT_FALSE(Registry.IsOffered("Mine"));
    EXPECT_EQ(Registry.Request(&Consumer, again, 1001, nullptr), RequestOutcome::ServiceGone);
    Registry.Disconnect(&Consumer, again);
    EXPECT_EQ(Heard, (std::vector<std::string>{"offered 1", "offered 1001", "offered 2", "offered 1", "offered 2"}));
}

TEST_F(HavenServiceRegistryTest, HostServicesTakeRequestsAndNotifyTheirClients)
{
    const ServiceConnection http = Registry.Connect(&Consumer, "HTTP", ConsumerHandler);
    ASSERT_NE(Registry.Connect(&Consumer, "Pulse", ConsumerHandler), 0u);
    EXPECT_EQ(Registry.Request(&Consumer, http, 1001, nullptr), RequestOutcome::Delivered);
    EXPECT_EQ(Registry.Notify("Pulse", 1), 1u);
    // An unloaded module's connections go without a word to its handlers.
    EXPECT_EQ(Registry.DropAllBut(&Stranger).size(), 2u);
    EXPECT_EQ(Registry.Notify("Pulse", 1), 0u);
    EXPECT_EQ(Heard, (std::vector<std::string>{"host HTTP 1001", "consumer 1"}));
}

} // namespace
