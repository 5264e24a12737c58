// Requests as they leave the client: the exact texts, ids, JSON escaping, the buffer
// limits, and the refusals while not connected. The client is put in a connected state
// without a session, so every request stays in the send queue where the tests read it.
#include <gtest/gtest.h>

#include <cfloat>
#include <functional>
#include <limits>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "client/json_escape.h"
#include "client/requests.h"
#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// Every request operation: the call, the name its refusals print, and its text between the
// "request-type" and the id (none for the authentication steps: the authentication tests
// check those).
using C = OBSRemoteClient&;
const std::vector<std::tuple<std::function<void(C)>, std::string, const char*>> Requests = {
    {[](C c) { c.GetVersion(); }, "GetVersion", R"("GetVersion")"},
    {[](C c) { c.GetVolumes(); }, "GetVolumes", R"("GetVolumes")"},
    {[](C c) { c.SetVolume("microphone", 0.5f, true); }, "SetVolume",
     R"("SetVolume","channel":"microphone","volume":0.50,"final":true)"},
    {[](C c) { c.ToggleMicMute(); }, "ToggleMicMute", R"("ToggleMute","channel":"microphone")"},
    {[](C c) { c.ToggleDesktopMute(); }, "ToggleDesktopMute", R"("ToggleMute","channel":"desktop")"},
    {[](C c) { c.GetAuthRequired(); }, "GetAuthRequired", R"("GetAuthRequired")"},
    {[](C c) { c.SendAuthentication(); }, "Authenticate", nullptr},
    {[](C c) { c.Authenticate("pw"); }, "Authenticate", nullptr},
    {[](C c) { c.GetStreamingStatus(); }, "GetStreamStatus", R"("GetStreamingStatus")"},
    {[](C c) { c.StartStreaming(); }, "StartStreaming", R"("StartStopStreaming")"},
    {[](C c) { c.StartPreview(); }, "StartPreview", R"("StartStopStreaming","preview-only":true)"},
    {[](C c) { c.GetSceneList(); }, "GetSceneList", R"("GetSceneList")"},
    {[](C c) { c.GetCurrentScene(); }, "GetCurrentScene", R"("GetCurrentScene")"},
    {[](C c) { c.SetCurrentScene("Scene 2"); }, "SetCurrentScene", R"("SetCurrentScene","scene-name":"Scene 2")"},
    {[](C c) { c.SetSourceOrder("\"a\",\"b\""); }, "SetSourceOrder", R"("SetSourceOrder","scene-names":["a","b"])"},
    {[](C c) { c.SetSourceOrderNames({"x", "y"}); }, "SetSourceOrder", R"("SetSourceOrder","scene-names":["x","y"])"},
    {[](C c) { c.SetSourceRender("Cam", false); }, "SetSourceRender",
     R"("SetSourceRender","source":"Cam","render":false)"},
};

struct RequestsTest : ::testing::Test, MessageHarness {
    RequestsTest() { client.State.store(Ready); }
    ~RequestsTest() override { client.State.store(Disconnected); }
};

TEST_F(RequestsTest, EveryRequestHasItsTextAndTheNextIdButNoneGoesOutWhileNotConnected)
{
    const uint32_t first = 4294967290u; // the ids wrap to 0 after the largest value
    client.NextMessageId = first;
    Lines expected;
    for (const auto& [send, name, text] : Requests) {
        if (text != nullptr) {
            send(client);
            expected.push_back(std::string("{\"request-type\":") + text + ",\"message-id\":\"" +
                               std::to_string(uint32_t(first + expected.size())) + "\"}");
        }
    }
    EXPECT_EQ(TakeQueued(client), expected);
    EXPECT_EQ(client.NextMessageId, uint32_t(first + expected.size()));

    // Not connected: a line each, no id used, nothing queued, and the kept secret stays.
    client.AuthSecret.Set("kept from an earlier session");
    Lines refusals;
    for (uint32_t state : {Disconnected, Connecting, Disconnecting}) {
        client.State.store(state);
        for (const auto& [send, name, text] : Requests) {
            send(client);
            refusals.push_back("HVEOBSRemote: " + name + ": Not connected");
        }
    }
    EXPECT_EQ(host.Lines(), refusals);
    EXPECT_EQ(client.NextMessageId, uint32_t(first + expected.size()));
    EXPECT_TRUE(TakeQueued(client).empty());
    EXPECT_EQ(client.AuthSecret.Get(), "kept from an earlier session");
}

TEST_F(RequestsTest, NamesWithQuotesBackslashesAndControlCharactersArriveIntact)
{
    const std::string name = "My \"best\" scene \\ path\n\ttab\x01\x1f end \xc3\xa9";
    std::string ascii(127, '\0'); // every character but the zero, for the list's larger buffer
    std::iota(ascii.begin(), ascii.end(), '\x01');
    client.SetCurrentScene(name.c_str());
    client.SetSourceRender(name.c_str(), true);
    client.SetVolume("desk\"top", 0.25f, false);
    client.SetSourceOrderNames({ascii, name, ""});
    // Each text, parsed, equals the request built from the names as given.
    json_t* const expected[] = {
        json_pack("{s:s,s:s,s:s}", "request-type", "SetCurrentScene", "scene-name", name.c_str(), "message-id", "1"),
        json_pack("{s:s,s:s,s:b,s:s}", "request-type", "SetSourceRender", "source", name.c_str(), "render", 1,
                  "message-id", "2"),
        json_pack("{s:s,s:s,s:f,s:b,s:s}", "request-type", "SetVolume", "channel", "desk\"top", "volume", 0.25, "final",
                  0, "message-id", "3"),
        json_pack("{s:s,s:[s,s,s],s:s}", "request-type", "SetSourceOrder", "scene-names", ascii.c_str(), name.c_str(),
                  "", "message-id", "4")};
    const Lines sent = TakeQueued(client);
    for (size_t i = 0; i < 4; ++i) {
        JsonValue want(expected[i]);
        EXPECT_TRUE(json_equal(ParseMessage(sent.at(i)).get(), want.get())) << sent.at(i);
    }
    EXPECT_EQ(JsonEscaped(nullptr), "");
}

// A volume beyond the float range, or not a number, still makes a request the plug-in can
// parse: infinity saturates at the largest float, NaN reads as 0.
TEST_F(RequestsTest, VolumesJsonCannotHoldStillGiveAParsableRequest)
{
    client.SetVolume("mic", std::numeric_limits<float>::infinity(), true);
    client.SetVolume("mic", -std::numeric_limits<float>::infinity(), true);
    client.SetVolume("mic", std::numeric_limits<float>::quiet_NaN(), true);
    const double expected[] = {FLT_MAX, -FLT_MAX, 0.0};
    const Lines sent = TakeQueued(client);
    ASSERT_EQ(sent.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        JsonValue request = ParseMessage(sent[i]);
        ASSERT_TRUE(request.get()) << sent[i];
        EXPECT_DOUBLE_EQ(json_real_value(json_object_get(request.get(), "volume")), expected[i]);
    }
}

// The longest name that still fits, and one byte more, for each buffer size; escapes count
// with their full length, and the id's width counts too. A refusal uses no id.
TEST_F(RequestsTest, RequestsThatWouldNotFitTheirBufferAreRefusedWhole)
{
    auto fixed = [](const std::string& body) { return ComposeRequest(body, 100).size(); };
    const std::string fits(NameRequestBuffer - 1 - fixed(RequestBody::SetCurrentScene("")), 'n');
    const size_t listRoom = ListRequestBuffer - 3 - fixed(RequestBody::SetSourceOrder(""));
    const std::string list = '"' + std::string(listRoom, 'x') + '"'; // the quotes take the other two
    client.NextMessageId = 1000;
    client.SetCurrentScene(fits.c_str()); // a wider id
    client.NextMessageId = 100;
    client.SetCurrentScene((fits + "n").c_str());            // one byte more
    client.SetCurrentScene((fits.substr(1) + "\"").c_str()); // a quote takes two bytes once escaped
    const size_t render = NameRequestBuffer - fixed(RequestBody::SetSourceRender("", false));
    client.SetSourceRender(std::string(render, 's').c_str(), false);
    client.SetVolume(std::string(NameRequestBuffer, 'c').c_str(), 0.5f, true);
    client.SetSourceOrder((list + ",\"\"").c_str());
    client.SetSourceOrderNames({std::string(ListRequestBuffer, 'y')});
    EXPECT_EQ(client.NextMessageId, 100u);
    client.SetCurrentScene(fits.c_str());
    client.SetSourceOrder(list.c_str());
    const Lines sent = TakeQueued(client);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].size(), NameRequestBuffer - 1);
    EXPECT_EQ(sent[1].size(), ListRequestBuffer - 1);
    const std::string scene = "HVEOBSRemote: SetCurrentScene: Request too long";
    const std::string order = "HVEOBSRemote: SetSourceOrder: Request too long";
    EXPECT_EQ(host.Lines(), (Lines{scene, scene, scene, "HVEOBSRemote: SetSourceRender: Request too long",
                                   "HVEOBSRemote: SetVolume: Request too long", order, order}));
}

// Two threads issuing at once use every id once, and the queue holds them in id order, the
// order the plug-in will see them.
TEST_F(RequestsTest, TwoThreadsQueueInIdOrder)
{
    auto issue = [this](void (OBSRemoteClient::*request)()) {
        for (int i = 0; i < 2000; ++i) {
            (client.*request)();
        }
    };
    std::thread other(issue, &OBSRemoteClient::GetVolumes);
    issue(&OBSRemoteClient::GetVersion);
    other.join();
    Lines queue = TakeQueued(client);
    ASSERT_EQ(queue.size(), 4000u);
    for (uint32_t i = 0; i < queue.size(); ++i) {
        EXPECT_EQ(queue[i].substr(queue[i].rfind(':') + 1), "\"" + std::to_string(i + 1) + "\"}");
    }
}

} // namespace
