// "OBSRemote Service" as other extensions use it: client announcements and FooRequest.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "shell/module_state.h"
#include "shell/obsremote_service.h"
#include "tests/support/recording_host.h"

namespace {

class OBSRemoteServiceTest : public ::testing::Test {
protected:
    void SetUp() override { g_Module.Host = &Host; }
    void TearDown() override { g_Module.Host = nullptr; }

    RecordingHost Host;
};

// FooRequest (1001) prints its record and marks it handled, a missing name included; other
// request ids print nothing and leave the record alone; a missing record crashes nothing.
TEST_F(OBSRemoteServiceTest, FooRequestPrintsItsRecordAndOtherRequestsChangeNothing)
{
    std::vector<std::tuple<uint32_t, const char*, int, float, const char*>> cases{
        {1001, "Ann", 30, 172.5f, "Foo: Ann. Age 30. Height: 172.500000cm"},
        {1001, nullptr, -4, -0.25f, "Foo: . Age -4. Height: -0.250000cm"}};
    for (uint32_t other : {0u, 3u, 1000u, 1002u, 0xFFFFFFFFu})
        cases.emplace_back(other, "Ann", 30, 172.5f, nullptr);
    for (const auto& [id, name, age, height, line] : cases) {
        Host.Clear();
        FooRequest request = {name, age, height, false};
        OBSRemoteServiceHandler(nullptr, id, &request);
        EXPECT_EQ(Host.Lines(), line != nullptr ? std::vector<std::string>{line} : std::vector<std::string>{}) << id;
        EXPECT_EQ(request.Handled, line != nullptr) << "id " << id;
        EXPECT_STREQ(request.Name, name);
        EXPECT_EQ(request.Age, age);
        EXPECT_FLOAT_EQ(request.Height, height);
    }
    Host.Clear();
    OBSRemoteServiceHandler(nullptr, 1001, nullptr);
    EXPECT_TRUE(Host.Lines().empty());
}

TEST_F(OBSRemoteServiceTest, ClientAddedAndRemovedShowTheSameLow32Bits)
{
    void* record = reinterpret_cast<void*>(static_cast<uintptr_t>(0x7F00ABCD1234ull & UINTPTR_MAX));
    OBSRemoteServiceHandler(nullptr, 1, record);
    OBSRemoteServiceHandler(nullptr, 2, record);
    OBSRemoteServiceHandler(nullptr, 1, nullptr);
    EXPECT_EQ(Host.Lines(), (std::vector<std::string>{"OBSRemoteService client added: ABCD1234",
                                                       "OBSRemoteService client removed: ABCD1234",
                                                       "OBSRemoteService client added: 0"}));
}

} // namespace
