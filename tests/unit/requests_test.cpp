// Requests as they leave the client: the exact texts, ids, JSON escaping, the buffer
// limits, and the refusals while not connected. The client is put in a connected state
// without a session, so every request stays in the send queue where the tests read it.
#include <gtest/gtest.h>
#include <jansson.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "client/json_escape.h"
#include "client/obs_remote_client.h"
#include "client/requests.h"
#include "support/portable_lock.h"
#include "tests/support/client_test_support.h"

namespace {

class RequestsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AttachRecordingHost(host, client);
        client.State.store(Ready);
    }
    void TearDown() override { client.State.store(Disconnected); }

    std::vector<std::string> Queue()
    {
        CSectionGuard guard(&client.Session.SendLock);
        return std::vector<std::string>(client.Session.SendQueue.begin(), client.Session.SendQueue.end());
    }
    std::string Last()
    {
        std::vector<std::string> queue = Queue();
        return queue.empty() ? std::string() : queue.back();
    }
    // The named member of the last queued request, parsed as JSON.
    std::string LastString(const char* key)
    {
        json_t* root = json_loads(Last().c_str(), 0, nullptr);
        EXPECT_NE(root, nullptr) << Last();
        std::string text = root != nullptr && json_is_string(json_object_get(root, key))
                               ? json_string_value(json_object_get(root, key))
                               : "<missing>";
        json_decref(root);
        return text;
    }

    RecordingHost host;
    OBSRemoteClient client;
};

TEST_F(RequestsTest, EveryRequestHasItsTextAndTheNextId)
{
    client.NextMessageId = 7;
    struct Case {
        std::function<void()> send;
        std::string text;
    };
    std::vector<Case> cases = {
        {[&] { client.GetVersion(); }, R"({"request-type":"GetVersion","message-id":"7"})"},
        {[&] { client.GetVolumes(); }, R"({"request-type":"GetVolumes","message-id":"8"})"},
        {[&] { client.SetVolume("microphone", 0.5f, true); },
         R"({"request-type":"SetVolume","channel":"microphone","volume":0.50,"final":true,"message-id":"9"})"},
        {[&] { client.SetVolume("desktop", 1.0f, false); },
         R"({"request-type":"SetVolume","channel":"desktop","volume":1.00,"final":false,"message-id":"10"})"},
        {[&] { client.ToggleMicMute(); }, R"({"request-type":"ToggleMute","channel":"microphone","message-id":"11"})"},
        {[&] { client.ToggleDesktopMute(); }, R"({"request-type":"ToggleMute","channel":"desktop","message-id":"12"})"},
        {[&] { client.GetAuthRequired(); }, R"({"request-type":"GetAuthRequired","message-id":"13"})"},
        {[&] { client.GetStreamingStatus(); }, R"({"request-type":"GetStreamingStatus","message-id":"14"})"},
        {[&] { client.StartStreaming(); }, R"({"request-type":"StartStopStreaming","message-id":"15"})"},
        {[&] { client.StartPreview(); },
         R"({"request-type":"StartStopStreaming","preview-only":true,"message-id":"16"})"},
        {[&] { client.GetSceneList(); }, R"({"request-type":"GetSceneList","message-id":"17"})"},
        {[&] { client.GetCurrentScene(); }, R"({"request-type":"GetCurrentScene","message-id":"18"})"},
        {[&] { client.SetCurrentScene("Scene 2"); },
         R"({"request-type":"SetCurrentScene","scene-name":"Scene 2","message-id":"19"})"},
        {[&] { client.SetSourceOrder("\"a\""); },
         R"({"request-type":"SetSourceOrder","scene-names":["a"],"message-id":"20"})"},
        {[&] { client.SetSourceOrder("\"a\",\"b\""); },
         R"({"request-type":"SetSourceOrder","scene-names":["a","b"],"message-id":"21"})"},
        {[&] { client.SetSourceOrderNames({"x", "y z"}); },
         R"({"request-type":"SetSourceOrder","scene-names":["x","y z"],"message-id":"22"})"},
        {[&] { client.SetSourceRender("Webcam", false); },
         R"({"request-type":"SetSourceRender","source":"Webcam","render":false,"message-id":"23"})"},
        {[&] { client.SetSourceRender("Webcam", true); },
         R"({"request-type":"SetSourceRender","source":"Webcam","render":true,"message-id":"24"})"},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        c.send();
        expected.push_back(c.text);
    }
    EXPECT_EQ(Queue(), expected);
    EXPECT_EQ(client.NextMessageId, 25u);
    EXPECT_TRUE(host.Lines().empty());
}

TEST_F(RequestsTest, NothingIsSentAndNoIdUsedWhileNotConnected)
{
    std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { client.GetVersion(); }, "GetVersion"},
        {[&] { client.GetVolumes(); }, "GetVolumes"},
        {[&] { client.SetVolume("desktop", 0.5f, true); }, "SetVolume"},
        {[&] { client.ToggleMicMute(); }, "ToggleMicMute"},
        {[&] { client.ToggleDesktopMute(); }, "ToggleDesktopMute"},
        {[&] { client.GetAuthRequired(); }, "GetAuthRequired"},
        {[&] { client.SendAuthentication(); }, "Authenticate"},
        {[&] { client.Authenticate("pw"); }, "Authenticate"},
        {[&] { client.GetStreamingStatus(); }, "GetStreamStatus"},
        {[&] { client.StartStreaming(); }, "StartStreaming"},
        {[&] { client.StartPreview(); }, "StartPreview"},
        {[&] { client.GetSceneList(); }, "GetSceneList"},
        {[&] { client.GetCurrentScene(); }, "GetCurrentScene"},
        {[&] { client.SetCurrentScene("a"); }, "SetCurrentScene"},
        {[&] { client.SetSourceOrder("\"a\""); }, "SetSourceOrder"},
        {[&] { client.SetSourceOrderNames({"a"}); }, "SetSourceOrder"},
        {[&] { client.SetSourceRender("a", true); }, "SetSourceRender"},
    };
    client.AuthSecret.Set("kept from an earlier session");
    for (uint32_t state : {Disconnected, Connecting, Disconnecting}) {
        client.State.store(state);
        host.Clear();
        std::vector<std::string> expected;
        for (auto& c : cases) {
            c.first();
            expected.push_back("HVEOBSRemote: " + c.second + ": Not connected");
        }
        EXPECT_EQ(host.Lines(), expected) << StateName(state);
        EXPECT_EQ(client.NextMessageId, 1u);
        EXPECT_TRUE(Queue().empty());
    }
    EXPECT_EQ(client.AuthSecret.Get(), "kept from an earlier session");
}

TEST_F(RequestsTest, NamesWithQuotesBackslashesAndControlCharactersArriveIntact)
{
    const std::string name = "My \"best\" scene \\ path\n\ttab\x01\x1f end \xc3\xa9";
    client.SetCurrentScene(name.c_str());
    EXPECT_EQ(LastString("scene-name"), name);
    client.SetSourceRender(name.c_str(), true);
    EXPECT_EQ(LastString("source"), name);
    client.SetVolume("desk\"top", 0.25f, false);
    EXPECT_EQ(LastString("channel"), "desk\"top");

    client.SetSourceOrderNames({name, "plain", ""});
    json_t* root = json_loads(Last().c_str(), 0, nullptr);
    ASSERT_NE(root, nullptr) << Last();
    json_t* names = json_object_get(root, "scene-names");
    ASSERT_EQ(json_array_size(names), 3u);
    EXPECT_EQ(json_string_value(json_array_get(names, 0)), name);
    EXPECT_STREQ(json_string_value(json_array_get(names, 1)), "plain");
    EXPECT_STREQ(json_string_value(json_array_get(names, 2)), "");
    json_decref(root);
}

TEST(JsonEscapeTest, EveryAsciiCharacterSurvivesARoundTrip)
{
    std::string all;
    for (int c = 1; c < 128; ++c) {
        all += static_cast<char>(c);
    }
    std::string document = "[\"" + JsonEscaped(all.c_str()) + "\"]";
    json_t* root = json_loads(document.c_str(), 0, nullptr);
    ASSERT_NE(root, nullptr) << document;
    EXPECT_EQ(json_string_value(json_array_get(root, 0)), all);
    json_decref(root);

    EXPECT_EQ(JsonEscaped("a\"b\\c\b\f\n\r\t\x01\x7f/"), "a\\\"b\\\\c\\b\\f\\n\\r\\t\\u0001\x7f/");
    EXPECT_EQ(JsonEscaped(nullptr), "");
    EXPECT_EQ(JsonQuotedList({}), "");
    EXPECT_EQ(JsonQuotedList({"a\"", "b"}), "\"a\\\"\",\"b\"");
}

// The longest name that still fits, and one byte more, for each buffer size; escapes count
// with their full length, and the id's width counts too.
TEST_F(RequestsTest, RequestsThatWouldNotFitTheirBufferAreRefusedWhole)
{
    client.NextMessageId = 100;
    const size_t sceneFixed = ComposeRequest(RequestBody::SetCurrentScene(""), 100).size();
    std::string fits(NameRequestBuffer - 1 - sceneFixed, 'n');
    client.SetCurrentScene(fits.c_str());
    ASSERT_EQ(Queue().size(), 1u);
    EXPECT_EQ(Last().size(), NameRequestBuffer - 1);
    EXPECT_EQ(client.NextMessageId, 101u);

    // Same length again, but the id now has the same width: still fits. One byte more does not.
    std::string tooLong = fits + "n";
    client.SetCurrentScene(tooLong.c_str());
    EXPECT_EQ(Queue().size(), 1u);
    EXPECT_EQ(client.NextMessageId, 101u);
    EXPECT_EQ(host.Lines(), std::vector<std::string>{"HVEOBSRemote: SetCurrentScene: Request too long"});

    // A quote takes two bytes once escaped.
    std::string quoted = fits.substr(1) + "\"";
    client.SetCurrentScene(quoted.c_str());
    EXPECT_EQ(Queue().size(), 1u);
    EXPECT_EQ(host.Lines().size(), 2u);

    // A longer id makes a name that fitted before too long.
    client.NextMessageId = 1000;
    client.SetCurrentScene(fits.c_str());
    EXPECT_EQ(Queue().size(), 1u);
    EXPECT_EQ(client.NextMessageId, 1000u);

    host.Clear();
    client.NextMessageId = 100;
    const size_t renderFixed = ComposeRequest(RequestBody::SetSourceRender("", false), 100).size();
    client.SetSourceRender(std::string(NameRequestBuffer - renderFixed, 's').c_str(), false);
    client.SetVolume(std::string(NameRequestBuffer, 'c').c_str(), 0.5f, true);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"HVEOBSRemote: SetSourceRender: Request too long",
                                                       "HVEOBSRemote: SetVolume: Request too long"}));

    host.Clear();
    const size_t orderFixed = ComposeRequest(RequestBody::SetSourceOrder(""), 100).size();
    std::string list = "\"" + std::string(ListRequestBuffer - 1 - orderFixed - 2, 'x') + "\"";
    client.SetSourceOrder(list.c_str());
    EXPECT_EQ(Last().size(), ListRequestBuffer - 1);
    client.SetSourceOrder((list + ",\"\"").c_str());
    client.SetSourceOrderNames({std::string(ListRequestBuffer, 'y')});
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{"HVEOBSRemote: SetSourceOrder: Request too long",
                                                       "HVEOBSRemote: SetSourceOrder: Request too long"}));
    for (const std::string& text : Queue()) {
        EXPECT_EQ(text.substr(text.size() - 2), "\"}");
    }
}

TEST_F(RequestsTest, IdsWrapAfterTheLargestValue)
{
    client.NextMessageId = 4294967295u;
    client.GetVersion();
    client.GetVersion();
    EXPECT_EQ(Queue(), (std::vector<std::string>{R"({"request-type":"GetVersion","message-id":"4294967295"})",
                                                   R"({"request-type":"GetVersion","message-id":"0"})"}));
    EXPECT_EQ(client.NextMessageId, 1u);
}

// Two threads issuing at once: every id is used once and the queue holds them in id order,
// which is the order the plug-in will see them.
TEST_F(RequestsTest, RequestsFromTwoThreadsQueueInIdOrder)
{
    const int perThread = 2000;
    std::thread other([&] {
        for (int i = 0; i < perThread; ++i) {
            client.GetVolumes();
        }
    });
    for (int i = 0; i < perThread; ++i) {
        client.GetVersion();
    }
    other.join();
    std::vector<std::string> queue = Queue();
    ASSERT_EQ(queue.size(), 2u * perThread);
    for (size_t i = 0; i < queue.size(); ++i) {
        json_t* root = json_loads(queue[i].c_str(), 0, nullptr);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(std::string(json_string_value(json_object_get(root, "message-id"))), std::to_string(i + 1));
        json_decref(root);
    }
}

} // namespace
