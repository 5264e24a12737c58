// The real module in the host stand-in against a real OBS Studio over obs-websocket 5, as
// scripts/obs-studio.sh runs it: scenes "Scene 1" (Red, Title), "Scene 2" (Blue, Subtitle
// and the hidden "Scene 3"), "Scene 3" (Green, Title), the desktop and microphone inputs, a
// local RTMP sink, and the password in HVE_OBS_PASSWORD. The tests run in this file's order
// against the one OBS, each from that first state; the last ones make OBS quit.
//
// The fixture's OBS Remote simulator listens on 4444 as well; with the setting "Protocol"
// at "obs-websocket" the module must never reach it.
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "client/auth_hash.h"
#include "tests/support/json_value.h"
#include "tests/support/module_fixture.h"
#include "tools/simulator/sim_raw_client.h"

namespace {

// A process that ended may stay a zombie until the system reaps it.
bool Running(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A second obs-websocket client, as another program on OBS's machine would be: it changes
// OBS from OBS's side. Identified without events; one request at a time.
class ObsSide {
public:
    bool Open()
    {
        if (!Client.Connect("127.0.0.1", std::stoi(Env("HVE_OBS_PORT")), std::string("obswebsocket.json"))) {
            return false;
        }
        JsonValue hello = ParseMessage(Client.ReadText().value_or(""));
        json_t* auth = json_object_get(json_object_get(hello.get(), "d"), "authentication");
        std::string secret = Base64Sha256(Env("HVE_OBS_PASSWORD"), json_string_value(json_object_get(auth, "salt")));
        std::string answer = Base64Sha256(secret, json_string_value(json_object_get(auth, "challenge")));
        Client.SendText(R"({"op":1,"d":{"rpcVersion":1,"eventSubscriptions":0,"authentication":")" + answer + "\"}}");
        return Client.ReadText().value_or("").find("\"op\":2") != std::string::npos;
    }

    // True when OBS answered the request with success; its answer is then in LastAnswer.
    bool Request(const std::string& type, const std::string& data)
    {
        const std::string id = std::to_string(++Id);
        Client.SendText(R"({"op":6,"d":{"requestType":")" + type + R"(","requestId":")" + id +
                        R"(","requestData":)" + data + "}}");
        for (int i = 0; i < 20; ++i) {
            std::string text = Client.ReadText().value_or("");
            if (text.find("\"requestId\":\"" + id + "\"") != std::string::npos) {
                LastAnswer = text;
                return text.find("\"result\":true") != std::string::npos;
            }
        }
        return false;
    }

    // Puts OBS back as scripts/obs-studio.sh made it, whatever a failed test left behind:
    // one request at a time, each answered before the next goes.
    bool Restore()
    {
        bool ok = Request("SetCurrentProgramScene", R"({"sceneName":"Scene 1"})");
        for (const char* input : {"Mic/Aux", "Desktop Audio"}) {
            const std::string name = std::string(R"("inputName":")") + input + "\"";
            ok = Request("SetInputVolume", "{" + name + R"(,"inputVolumeMul":1.0})") && ok;
            ok = Request("SetInputMute", "{" + name + R"(,"inputMuted":false})") && ok;
        }
        // Scene 2, bottom first: Blue, Subtitle, then the hidden Scene 3.
        const char* order[] = {"Blue", "Subtitle", "Scene 3"};
        for (int index = 0; index < 3; ++index) {
            if (!Request("GetSceneItemId", std::string(R"({"sceneName":"Scene 2","sourceName":")") + order[index] + "\"}")) {
                return false;
            }
            JsonValue answer = ParseMessage(LastAnswer);
            json_t* id = json_object_get(json_object_get(json_object_get(answer.get(), "d"), "responseData"), "sceneItemId");
            const std::string item = R"({"sceneName":"Scene 2","sceneItemId":)" + std::to_string(json_integer_value(id));
            ok = Request("SetSceneItemIndex", item + R"(,"sceneItemIndex":)" + std::to_string(index) + "}") && ok;
            ok = Request("SetSceneItemEnabled", item + R"(,"sceneItemEnabled":)" + (index < 2 ? "true" : "false") + "}") && ok;
        }
        return ok;
    }

private:
    SimRawClient Client;
    int Id = 0;
    std::string LastAnswer;
};

class ObsStudio : public ModuleFixture {
protected:
    // The simulator keeps 4444, the plug-in's port; with only "Protocol" set, the module must
    // find OBS Studio on obs-websocket's own port instead.
    ObsStudio() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}, true) {}

    void SetUp() override
    {
        if (Env("HVE_OBS_PORT").empty()) {
            GTEST_SKIP() << "runs inside scripts/obs-studio.sh";
        }
        ModuleFixture::SetUp();
        haven::SettingsStore& settings = Host->Settings();
        settings.SetText(settings.FindExtension("HVEOBSRemote"), "Protocol", "obs-websocket");
        if (Env("HVE_OBS_PORT") != "4455") {
            settings.SetText(settings.FindExtension("HVEOBSRemote"), "Port", Env("HVE_OBS_PORT").c_str());
        }
        // Each test starts from the same OBS, so that one failure does not bring others.
        ObsSide obs;
        ASSERT_TRUE(obs.Open() && obs.Restore()) << "OBS could not be put back in its first state";
    }

    void TearDown() override
    {
        if (Sim) {
            EXPECT_TRUE(Sim->Received().empty()) << "the module reached the OBS Remote simulator";
        }
        ModuleFixture::TearDown();
    }

    void ConnectObs()
    {
        ASSERT_NO_FATAL_FAILURE(Connect({"1"}));
        ASSERT_TRUE(Wait("OBSRemote:VersionRsp", {"5.10"}));
    }

    void ConnectAndAuthenticateObs()
    {
        ASSERT_NO_FATAL_FAILURE(ConnectObs());
        ASSERT_NO_FATAL_FAILURE(Authenticate(Env("HVE_OBS_PASSWORD")));
    }

    // OBS quits (SIGINT, as when its window is closed) while the module is connected, then is
    // started again.
    void RestartObs()
    {
        int pid = 0;
        std::ifstream(Env("HVE_OBS_PIDFILE")) >> pid;
        ASSERT_GT(pid, 0);
        ASSERT_EQ(kill(pid, SIGINT), 0);
        ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
        ExpectValues({{".NumScenes", "3"}, {".CurrentSceneName", "Scene 1"}});
        ASSERT_TRUE(Eventually([pid] { return !Running(pid); })) << "OBS did not quit";
        ASSERT_EQ(std::system(Env("HVE_OBS_START").c_str()), 0);
    }
};

TEST_F(ObsStudio, ConnectsAuthenticatesAndReadsScenes)
{
    ASSERT_NO_FATAL_FAILURE(ConnectObs());
    ExpectValues({{".State", "Ready"}, {".AuthRequired", "true"}, {".IsAuthenticated", "false"}, {".RemoteVersion", "5.1"}});
    ASSERT_NO_FATAL_FAILURE(Authenticate(Env("HVE_OBS_PASSWORD")));
    ExpectValues({{".IsAuthenticated", "true"}, {".CurrentSceneName", "Scene 1"}, {".NumScenes", "3"},
                  {".Scene[1]", "Scene 1"}, {".Scene[2]", "Scene 2"}, {".Scene[3]", "Scene 3"},
                  {".IsStreaming", "false"}, {".IsPreview", "false"}, {".DesktopVolume", "1"},
                  {".Scene[2].Source[1].Name", "Scene 3"}, {".Scene[2].Source[1].Render", "false"},
                  {".Scene[2].Source(Subtitle).Render", "true"}, {".Scene[2].Source(Subtitle).X", "20"},
                  {".Scene[2].Source(Subtitle).Y", "200"}, {".Scene[2].Source(Blue).Width", "640"},
                  {".Scene[2].Source(Blue).Height", "360"}});
    EXPECT_EQ(SourceNames(R"(Scene("Scene 1"))"), "Title,Red");
    EXPECT_EQ(SourceNames(R"(Scene("Scene 2"))"), "Scene 3,Subtitle,Blue");
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

TEST_F(ObsStudio, WrongPasswordEndsTheSession)
{
    ASSERT_NO_FATAL_FAILURE(ConnectObs());
    ASSERT_TRUE(Call("OBSRemote.Authenticate(wrong)"));
    ASSERT_TRUE(Wait("OBSRemote:AuthFailed"));
    ASSERT_TRUE(Wait("OBSRemote:Error", {"Authentication failed."}));
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
    // The event goes out just before the state changes.
    ASSERT_TRUE(Eventually([this] { return Value("OBSRemote.State") == "Disconnected"; }));
    ExpectValues({{".IsAuthenticated", std::nullopt}});
}

TEST_F(ObsStudio, SwitchesHidesShowsAndReorders)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    ASSERT_TRUE(Call("OBSRemote.SetCurrentScene(\"Scene 2\")"));
    ASSERT_TRUE(Wait("OBSRemote:SwitchScenes", {"Scene 2"}));
    ExpectValues({{".CurrentSceneName", "Scene 2"}, {".CurrentScene", "Scene 2"}});

    // OBS also reports items' transforms on its own (a text source's size once it is first
    // drawn after the switch), each a "SourceChanged" too: the checks wait for the value
    // rather than count events.
    const std::string render = "OBSRemote.Scene(\"Scene 2\").Source(Subtitle).Render";
    ASSERT_TRUE(Call("OBSRemote.SetSourceRender(Subtitle, 0)"));
    ASSERT_TRUE(Wait("OBSRemote:SourceChanged"));
    EXPECT_TRUE(Eventually([&] { return Value(render) == "false"; })) << Value(render).value_or("none");
    ASSERT_TRUE(Call("OBSRemote.Scene(\"Scene 2\").Source(Subtitle).SetRender(1)"));
    ASSERT_TRUE(Wait("OBSRemote:SourceChanged"));
    EXPECT_TRUE(Eventually([&] { return Value(render) == "true"; })) << Value(render).value_or("none");

    ASSERT_TRUE(Call("OBSRemote.SetSourceOrder(Blue, Subtitle)"));
    ASSERT_TRUE(Eventually([this] { return SourceNames(R"(Scene("Scene 2"))") == "Blue,Subtitle,Scene 3"; }))
        << SourceNames(R"(Scene("Scene 2"))");
    EXPECT_TRUE(Wait("OBSRemote:SourceOrderChanged"));
    ASSERT_TRUE(Call("OBSRemote.SetSourceOrder(\"Scene 3\", Subtitle, Blue)"));
    ASSERT_TRUE(Eventually([this] { return SourceNames(R"(Scene("Scene 2"))") == "Scene 3,Subtitle,Blue"; }))
        << SourceNames(R"(Scene("Scene 2"))");

    ASSERT_TRUE(Call("OBSRemote.SetCurrentScene(\"No such scene\")"));
    ASSERT_TRUE(Wait("OBSRemote:Error", {"No source was found by the name of `No such scene`."}));
    ASSERT_TRUE(Call("OBSRemote.SetCurrentScene(\"Scene 1\")"));
    ASSERT_TRUE(Wait("OBSRemote:SwitchScenes", {"Scene 1"}));
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

// OBS announces a new volume a moment before it keeps it, so a GetVolumes right after a volume
// change may still read the old one; here it follows a mute change, which OBS keeps first.
TEST_F(ObsStudio, ChangesVolumeAndMute)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    ASSERT_TRUE(Call("OBSRemote.ToggleMicMute()"));
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"microphone", "1", "1.0000", "1"}));
    ASSERT_TRUE(Call("OBSRemote.GetVolumes()"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp", {"1", "1.0000", "0", "1.0000"}));
    ASSERT_TRUE(Call("OBSRemote.SetVolume(microphone, 0.5)"));
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"microphone", "1", "0.5000", "1"}));
    ExpectValues({{".MicrophoneVolume", "0.5"}, {".IsMicrophoneMuted", "true"}});

    ASSERT_TRUE(Call("OBSRemote.ToggleMicMute()"));
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"microphone", "0", "0.5000", "1"}));
    ASSERT_TRUE(Call("OBSRemote.SetVolume(microphone, 1)"));
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"microphone", "0", "1.0000", "1"}));
    ASSERT_TRUE(Call("OBSRemote.ToggleDesktopMute()"));
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"desktop", "1"}));
    ASSERT_TRUE(Call("OBSRemote.ToggleDesktopMute()"));
    ASSERT_TRUE(Wait("OBSRemote:VolumeChanged", {"desktop", "0"}));
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

TEST_F(ObsStudio, StreamsWithStatus)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    ASSERT_TRUE(Call("OBSRemote.StartPreview()"));
    ASSERT_TRUE(Wait("OBSRemote:Error", {"StartPreview: obs-websocket has no preview-only streaming"}));

    ASSERT_TRUE(Call("OBSRemote.StartStreaming()"));
    ASSERT_TRUE(Wait("OBSRemote:StreamStarting", {"1", "0"}));
    ASSERT_TRUE(Wait("OBSRemote:StreamStatus", {"1", "0"}));
    // The first figures may come before the first bytes; the stream is live within seconds.
    ASSERT_TRUE(Eventually([this] { return std::stoll(Value("OBSRemote.BytesPerSecond").value_or("0")) > 0; }));
    ExpectValues({{".IsStreaming", "true"}, {".IsPreview", "false"}});
    EXPECT_GT(std::stoll(Value("OBSRemote.TotalStreamTime").value_or("0")), 0);
    EXPECT_GT(std::stoll(Value("OBSRemote.NumTotalFrames").value_or("0")), 0);
    EXPECT_FALSE(HttpLogLines().empty()) << "the stream was not announced";

    ASSERT_TRUE(Call("OBSRemote.StartStreaming()"));
    ASSERT_TRUE(Wait("OBSRemote:StreamStopping", {"0", "0"}));
    ExpectValues({{".IsStreaming", "false"}});
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

TEST_F(ObsStudio, FollowsChangesMadeInObs)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    ObsSide obs;
    ASSERT_TRUE(obs.Open());

    ASSERT_TRUE(obs.Request("CreateScene", R"({"sceneName":"Scene 4"})"));
    ASSERT_TRUE(Wait("OBSRemote:ScenesChanged"));
    ASSERT_TRUE(obs.Request("SetSceneName", R"({"sceneName":"Scene 4","newSceneName":"Scene Four"})"));
    ASSERT_TRUE(Wait("OBSRemote:ScenesChanged"));
    ASSERT_TRUE(Call("OBSRemote.GetSceneList()"));
    ASSERT_TRUE(Wait("OBSRemote:SceneListRsp"));
    ExpectValues({{".NumScenes", "4"}, {".Scene[4]", "Scene Four"}});
    ASSERT_TRUE(obs.Request("RemoveScene", R"({"sceneName":"Scene Four"})"));
    ASSERT_TRUE(Wait("OBSRemote:ScenesChanged"));
    ASSERT_TRUE(Call("OBSRemote.GetSceneList()"));
    ASSERT_TRUE(Wait("OBSRemote:SceneListRsp"));
    ExpectValues({{".NumScenes", "3"}});

    // A source added to and removed from the current scene.
    ASSERT_TRUE(obs.Request("CreateInput", R"({"sceneName":"Scene 1","inputName":"Yellow","inputKind":"color_source_v3",)"
                                           R"("inputSettings":{"color":4278255615,"width":320,"height":180}})"));
    ASSERT_TRUE(Wait("OBSRemote:RepopulateSources"));
    EXPECT_EQ(SourceNames(R"(Scene("Scene 1"))"), "Yellow,Title,Red");
    ASSERT_TRUE(obs.Request("RemoveInput", R"({"inputName":"Yellow"})"));
    ASSERT_TRUE(Wait("OBSRemote:RepopulateSources"));
    EXPECT_EQ(SourceNames(R"(Scene("Scene 1"))"), "Title,Red");
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

// OBS removes every scene and input before it says it quits; scripts see only the end of the
// connection. A new Connect after OBS is back works as the first.
TEST_F(ObsStudio, ObsQuittingAndComingBack)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    const size_t before = EventCount();
    ASSERT_NO_FATAL_FAILURE(RestartObs());
    EXPECT_EQ(EventsSince(before), (std::vector<std::string>{"OBSRemote:StateChanged"}));
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    ExpectValues({{".NumScenes", "3"}, {".CurrentSceneName", "Scene 1"}});
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

// With "AutoReconnect" on, the module keeps trying while OBS is away and connects by itself
// once it is back. OBS makes a new salt when it starts, so the script authenticates again.
TEST_F(ObsStudio, ReconnectsByItselfWhenObsComesBack)
{
    haven::SettingsStore& settings = Host->Settings();
    settings.SetText(settings.FindExtension("HVEOBSRemote"), "AutoReconnect", "true");
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticateObs());
    ASSERT_NO_FATAL_FAILURE(RestartObs());
    // OBS takes seconds to start, and the attempts back off meanwhile.
    ASSERT_TRUE(Host->WaitForEvent("OBSRemote:StateChanged", std::chrono::seconds(60), {"Ready"}));
    EXPECT_GE(std::stoi(Value("OBSRemote.ReconnectAttempt").value_or("0")), 1);
    ASSERT_TRUE(Wait("OBSRemote:AuthRequiredRsp", {"1"}));
    ASSERT_NO_FATAL_FAILURE(Authenticate(Env("HVE_OBS_PASSWORD")));
    ExpectValues({{".NumScenes", "3"}, {".CurrentSceneName", "Scene 1"}});
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

} // namespace
