// Numbers in event arguments and in the SetVolume request keep "." as the decimal point
// when the process runs under a locale whose decimal point is ",". This program changes
// LC_NUMERIC, so it holds no other tests.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "client/requests.h"
#include "tests/support/client_test_support.h"

namespace {

class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252"}) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr) {
                break;
            }
        }
        char probe[16];
        std::snprintf(probe, sizeof(probe), "%.1f", 0.5);
        if (std::string(probe) != "0,5") {
#ifdef _WIN32
            GTEST_SKIP() << "no locale with a decimal comma here";
#else
            FAIL() << "no locale with a decimal comma: scripts/setup.sh generates de_DE.UTF-8";
#endif
        }
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, "C"); }
};

TEST_F(CommaLocale, EventArgumentsAndTheSetVolumeRequestKeepTheFullStop)
{
    MessageHarness h;
    for (const char* message : {
             R"({"status":"ok","message-id":"1","version":1.1})",
             R"({"status":"ok","message-id":"4","mic-volume":0.3,"mic-muted":false,"desktop-volume":1.0,"desktop-muted":true})",
             R"({"update-type":"VolumeChanged","channel":"desktop","volume":0.25,"muted":false,"finalValue":true})",
             R"({"update-type":"StreamStatus","streaming":true,"preview-only":false,"bytes-per-sec":1,"strain":12.345678,"total-stream-time":2,"num-total-frames":3,"num-dropped-frames":4,"fps":30})",
         }) {
        ASSERT_TRUE(h.Send(message)) << message;
    }
    EXPECT_EQ(h.Events(), (std::vector<std::string>{
                              "OBSRemote:VersionRsp \"1.10\"",
                              "OBSRemote:VolumesRsp \"0\" \"0.3000\" \"1\" \"1.0000\"",
                              "OBSRemote:VolumeChanged \"desktop\" \"0\" \"0.2500\" \"1\"",
                              "OBSRemote:StreamStatus \"1\" \"0\" \"1\" \"12.3457\" \"2\" \"3\" \"4\" \"30\"",
                          }));
    EXPECT_EQ(RequestBody::SetVolume("microphone", 0.75f, true),
              R"({"request-type":"SetVolume","channel":"microphone","volume":0.75,"final":true,"message-id":")");
}

} // namespace
