// Services of the host stand-in: who may use or withdraw a service, and what an offered
// service hears when its clients come and go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/haven/service_registry.h"

namespace {

using haven::RequestOutcome;
using haven::ServiceClientRecord;
using haven::ServiceRegistry;

struct Heard {
    void* Client;
    uint32_t Message;
    void* Record;
};
std::vector<Heard> OfferedHeard;
std::vector<Heard> ConsumerHeard;

void OfferedHandler(void* client, uint32_t message, void* record)
{
    OfferedHeard.push_back({client, message, record});
}

void ConsumerHandler(void* client, uint32_t message, void* record)
{
    ConsumerHeard.push_back({client, message, record});
}

class HavenServiceRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OfferedHeard.clear();
        ConsumerHeard.clear();
    }

    std::vector<std::string> HostRequests;
    ServiceRegistry Registry{[this](const std::string& service, uint32_t request, void*) {
        HostRequests.push_back(service + " " + std::to_string(request));
    }};
    int Provider = 0;
    int Consumer = 0;
    int Stranger = 0;
};

TEST_F(HavenServiceRegistryTest, OfferedServicesHearClientsComeAndGoWithOneRecord)
{
    EXPECT_EQ(Registry.Offer(&Provider, "HTTP", OfferedHandler), 0u) << "host service names are taken";
    EXPECT_EQ(Registry.Offer(&Provider, "", OfferedHandler), 0u);
    EXPECT_EQ(Registry.Offer(&Provider, "Mine", nullptr), 0u);
    const ServiceHandle handle = Registry.Offer(&Provider, "Mine", OfferedHandler);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(Registry.Offer(&Stranger, "Mine", OfferedHandler), 0u);

    EXPECT_EQ(Registry.Connect(&Consumer, "Nobody's", ConsumerHandler), 0u);
    const ServiceConnection connection = Registry.Connect(&Consumer, "Mine", ConsumerHandler);
    ASSERT_NE(connection, 0u);
    ASSERT_EQ(OfferedHeard.size(), 1u);
    EXPECT_EQ(OfferedHeard[0].Message, 1u);
    const auto* record = static_cast<ServiceClientRecord*>(OfferedHeard[0].Record);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Client, &Consumer);
    EXPECT_EQ(record->Connection, connection);
    EXPECT_STREQ(record->ServiceName, "Mine");

    int payload = 5;
    EXPECT_EQ(Registry.Request(&Stranger, connection, 1001, &payload), RequestOutcome::NoSuchConnection);
    EXPECT_EQ(Registry.Request(&Consumer, connection, 1001, &payload), RequestOutcome::Delivered);
    ASSERT_EQ(OfferedHeard.size(), 2u);
    EXPECT_EQ(OfferedHeard[1].Message, 1001u);
    EXPECT_EQ(OfferedHeard[1].Record, &payload);

    Registry.Disconnect(&Stranger, connection);
    EXPECT_EQ(OfferedHeard.size(), 2u) << "only the connection's client can end it";
    Registry.Disconnect(&Consumer, connection);
    ASSERT_EQ(OfferedHeard.size(), 3u);
    EXPECT_EQ(OfferedHeard[2].Message, 2u);
    EXPECT_EQ(OfferedHeard[2].Record, OfferedHeard[0].Record) << "the same record identifies the client";
    EXPECT_TRUE(ConsumerHeard.empty());
}

TEST_F(HavenServiceRegistryTest, AWithdrawnServiceLetsGoOfItsClients)
{
    const ServiceHandle handle = Registry.Offer(&Provider, "Mine", OfferedHandler);
    const ServiceConnection connection = Registry.Connect(&Consumer, "Mine", ConsumerHandler);
    Registry.Withdraw(&Stranger, handle);
    EXPECT_TRUE(Registry.IsOffered("Mine")) << "only its provider withdraws a service";
    Registry.Withdraw(&Provider, handle);
    EXPECT_FALSE(Registry.IsOffered("Mine"));
    ASSERT_EQ(OfferedHeard.size(), 2u);
    EXPECT_EQ(OfferedHeard[1].Message, 2u);

    EXPECT_EQ(Registry.Request(&Consumer, connection, 1001, nullptr), RequestOutcome::ServiceGone);
    Registry.Disconnect(&Consumer, connection);
    EXPECT_EQ(OfferedHeard.size(), 2u) << "the withdrawn service is not called again";
}

TEST_F(HavenServiceRegistryTest, HostServicesTakeRequestsAndNotifyTheirClients)
{
    const ServiceConnection http = Registry.Connect(&Consumer, "HTTP", ConsumerHandler);
    const ServiceConnection pulse = Registry.Connect(&Consumer, "Pulse", ConsumerHandler);
    ASSERT_NE(http, 0u);
    ASSERT_NE(pulse, 0u);
    EXPECT_EQ(Registry.Request(&Consumer, http, 1001, nullptr), RequestOutcome::Delivered);
    EXPECT_EQ(Registry.Request(&Consumer, 0, 1002, nullptr), RequestOutcome::NoSuchConnection);
    EXPECT_EQ(HostRequests, (std::vector<std::string>{"HTTP 1001"}));

    EXPECT_EQ(Registry.Notify("Pulse", 1), 1u);
    EXPECT_EQ(Registry.Notify("Memory", 9), 0u);
    ASSERT_EQ(ConsumerHeard.size(), 1u);
    EXPECT_EQ(ConsumerHeard[0].Client, &Consumer);
    EXPECT_EQ(ConsumerHeard[0].Message, 1u);

    // An unloaded module's connections go without a word to its handlers.
    const std::vector<std::string> dropped = Registry.DropAllBut(&Stranger);
    EXPECT_EQ(dropped.size(), 2u);
    EXPECT_EQ(Registry.Notify("Pulse", 1), 0u);
    EXPECT_EQ(ConsumerHeard.size(), 1u);
}

} // namespace
