// "OBSRemote Service" as other extensions use it: client announcements and FooRequest.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

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

TEST_F(OBSRemoteServiceTest, FooRequestPrintsItsRecordAndIsHandled)
{
    FooRequest request = {"Ann", 30, 172.5f, false};
    OBSRemoteServiceHandler(nullptr, 1001, &request);
    ASSERT_EQ(Host.Lines().size(), 1u);
    EXPECT_EQ(Host.Lines()[0], "Foo: Ann. Age 30. Height: 172.500000cm");
    EXPECT_TRUE(request.Handled);
    EXPECT_STREQ(request.Name, "Ann");
    EXPECT_EQ(request.Age, 30);
    EXPECT_FLOAT_EQ(request.Height, 172.5f);
}

TEST_F(OBSRemoteServiceTest, OtherRequestsPrintNothingAndChangeNothing)
{
    for (uint32_t id : {0u, 3u, 1000u, 1002u, 0xFFFFFFFFu}) {
        FooRequest request = {"Ann", 30, 172.5f, false};
        OBSRemoteServiceHandler(nullptr, id, &request);
        EXPECT_FALSE(request.Handled) << "id " << id;
        EXPECT_STREQ(request.Name, "Ann");
        EXPECT_EQ(request.Age, 30);
        EXPECT_FLOAT_EQ(request.Height, 172.5f);
    }
    EXPECT_TRUE(Host.Lines().empty());
}

TEST_F(OBSRemoteServiceTest, MissingRecordOrNameDoesNotCrash)
{
    OBSRemoteServiceHandler(nullptr, 1001, nullptr);
    EXPECT_TRUE(Host.Lines().empty());

    FooRequest nameless = {nullptr, -4, -0.25f, false};
    OBSRemoteServiceHandler(nullptr, 1001, &nameless);
    ASSERT_EQ(Host.Lines().size(), 1u);
    EXPECT_EQ(Host.Lines()[0], "Foo: . Age -4. Height: -0.250000cm");
    EXPECT_TRUE(nameless.Handled);
}

TEST_F(OBSRemoteServiceTest, ClientAddedAndRemovedShowTheSameLow32Bits)
{
    void* record = reinterpret_cast<void*>(static_cast<uintptr_t>(0x7F00ABCD1234ull & UINTPTR_MAX));
    OBSRemoteServiceHandler(nullptr, 1, record);
    OBSRemoteServiceHandler(nullptr, 2, record);
    OBSRemoteServiceHandler(nullptr, 1, nullptr);
    std::vector<std::string> lines = Host.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "OBSRemoteService client added: ABCD1234");
    EXPECT_EQ(lines[1], "OBSRemoteService client removed: ABCD1234");
    EXPECT_EQ(lines[2], "OBSRemoteService client added: 0");
}

} // namespace
