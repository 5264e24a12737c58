// The script types of the real module, driven through the host's console against the OBS
// Remote simulator: which members have values in which state, how arguments are read, how
// scenes and sources are found, and which requests script methods make the module send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace {

using Text = std::optional<std::string>;
using Lines = std::vector<std::string>;

class ModuleScriptTypes : public ModuleFixture {
protected:
    // The one module suite on the default port, with no settings: localhost:4444.
    ModuleScriptTypes() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}, true) {}

    // The requests a console line made the module send.
    std::vector<SimReceived> RequestsOf(const std::string& line, bool answer = true)
    {
        const size_t from = ReceivedCount();
        EXPECT_EQ(Call(line), answer) << line;
        return RequestsUntilMarker(from);
    }

    // The status members, which have no value until the plug-in has answered.
    void ExpectNoStatus()
    {
        for (const char* member : {"RemoteVersion", "IsMicrophoneMuted", "IsDesktopMuted", "DesktopVolume",
                 "MicrophoneVolume", "IsStreaming", "IsPreview", "BytesPerSecond", "Strain", "TotalStreamTime",
                 "NumTotalFrames", "NumDroppedFrames", "FPS", "AuthRequired", "IsAuthenticated"}) {
            EXPECT_EQ(Value(std::string("OBSRemote.") + member), std::nullopt) << member;
        }
    }
};

constexpr std::nullopt_t None = std::nullopt;

// The requests as "type member ...", with the members that carry the script's arguments.
Lines Described(const std::vector<SimReceived>& requests)
{
    Lines described;
    for (const SimReceived& request : requests) {
        described.push_back(request.RequestType);
        for (const char* key : {"scene-name", "scene-names", "channel", "volume", "final", "source", "render"}) {
            const std::string member = RequestMember(request, key);
            described.back() += member != "(absent)" ? " " + member : "";
        }
    }
    return described;
}

TEST_F(ModuleScriptTypes, MembersHaveValuesOnlyInTheStatesThatFillThemAndUnloadingStartsAfresh)
{
    ExpectNoStatus();
    ExpectValues({{"", "HVEOBSRemote"}, {".State", "Disconnected"}, {".CurrentScene", None}, {".Scene[1]", None},
        {".CurrentSceneName", ""}, {".NumScenes", "0"}});
    // Unloading takes the module out of the process even after a text member was read: its
    // static objects (extension object, frame element factory, client) go, and a new load
    // starts afresh.
    Host->Unload();
    ASSERT_TRUE(Host->LoadModule(Paths.Module)) << "the module stayed loaded with its extension object";
    EXPECT_EQ(Value("OBSRemote.State"), Text("Disconnected"));

    // The plug-in wants a password: until it has one it answers only the version and the
    // demand, and refuses the other four opening requests.
    ASSERT_NO_FATAL_FAILURE(Connect());
    for (int refused = 0; refused < 4; ++refused) {
        ASSERT_TRUE(Wait("OBSRemote:Error", {"Not Authenticated"}));
    }
    ExpectValues({{".State", "Ready"}, {".AuthRequired", "true"}, {".IsAuthenticated", "false"}, {".RemoteVersion", "1.1"},
        {".MicrophoneVolume", None}, {".IsStreaming", None}, {".CurrentScene", None}, {".NumScenes", "0"}});

    const size_t beforeAuth = EventCount();
    ASSERT_TRUE(Call("OBSRemote.Authenticate(admin)"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp", {"0", "1.0000", "0", "1.0000"}));
    EXPECT_EQ(EventsSince(beforeAuth),
        (Lines{"OBSRemote:AuthAccepted", "OBSRemote:CurrentSceneRsp", "OBSRemote:SceneListRsp",
            "OBSRemote:StreamStatusRsp", "OBSRemote:VolumesRsp"}));
    // No stream has reported figures yet.
    ExpectValues({{".IsAuthenticated", "true"}, {".AuthRequired", "true"}, {".MicrophoneVolume", "1"},
        {".IsDesktopMuted", "false"}, {".IsStreaming", "false"}, {".IsPreview", "false"}, {".BytesPerSecond", None},
        {".FPS", None}, {".CurrentSceneName", "Intro"}, {".CurrentScene", "Intro"}, {".Scene[3]", "Be Right Back"}});

    // Disconnecting forgets the status but keeps the last scene list.
    ASSERT_NO_FATAL_FAILURE(Disconnect());
    ExpectNoStatus();
    ExpectValues({{".State", "Disconnected"}, {".NumScenes", "3"}, {".Scene[2].Source[2].Name", "Webcam"}});
    EXPECT_EQ(EventsSince(beforeAuth, "OBSRemote:AuthAccepted").size(), 1u);
}

TEST_F(ModuleScriptTypes, FlagAndNumberArgumentsAsThePluginReceivesThem)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    // One text as SetVolume's volume and final flag and as SetSourceRender's render flag:
    // numbers are read from the front and not limited; a flag is "true" or a number not 0.
    const std::vector<std::tuple<std::string, const char*, const char*>> rows = {{"TRUE", "0.0", "true"},
        {"true", "0.0", "true"}, {"1", "1.0", "true"}, {"-2", "-2.0", "true"}, {"0.5", "0.5", "true"},
        {" 3e2", "300.0", "true"}, {"2.5dB", "2.5", "true"}, {"-0.75", "-0.75", "true"}, {"false", "0.0", "false"},
        {"0", "0.0", "false"}, {"yes", "0.0", "false"}, {"", "0.0", "false"}, {"off", "0.0", "false"},
        {"0.0", "0.0", "false"}, {"loud", "0.0", "false"}};
    const size_t from = ReceivedCount();
    Lines expected;
    for (const auto& [text, volume, flag] : rows) {
        const std::string quoted = "\"" + text + "\"";
        ASSERT_TRUE(Call("OBSRemote.SetVolume(microphone, " + quoted + ", " + quoted + ")"));
        ASSERT_TRUE(Call("OBSRemote.SetSourceRender(Logo, " + quoted + ")"));
        expected.push_back(std::string("SetVolume microphone ") + volume + " " + flag);
        expected.push_back(std::string("SetSourceRender Logo ") + flag);
    }
    EXPECT_EQ(Described(RequestsUntilMarker(from)), expected);
    EXPECT_EQ(Described(RequestsOf("OBSRemote.SetVolume(desktop, 1.5)")), Lines{"SetVolume desktop 1.5 false"});

    // Too few arguments: the method answers false and nothing goes out.
    for (const char* line : {"SetVolume(microphone)", "SetSourceRender(Logo)", "SetCurrentScene()", "SetSourceOrder()",
             "Authenticate()"}) {
        EXPECT_TRUE(RequestsOf(std::string("OBSRemote.") + line, false).empty()) << line;
    }
}

TEST_F(ModuleScriptTypes, ScenesAndSourcesByPositionAndByName)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    // Scenes and a source whose names look like positions.
    ASSERT_TRUE(Sim->AddScene("0") && Sim->AddScene("-1") && Sim->AddScene("7"));
    ASSERT_TRUE(Sim->AddSource(SimSource{"0", 1.0f, 2.0f, 3.0f, 4.0f, false}));
    ASSERT_TRUE(Wait("OBSRemote:RepopulateSources"));
    ASSERT_TRUE(Call("OBSRemote.GetSceneList()"));
    ASSERT_TRUE(Wait("OBSRemote:SceneListRsp"));
    ExpectValues({{".NumScenes", "6"}, {".Scene[1]", "Intro"}, {".Scene[1.9]", "Intro"}, {".Scene[2]", "Game"},
        {".Scene[4]", "0"}, {".Scene[0]", "0"}, {".Scene[-1]", "-1"}, {".Scene[7]", "7"}, {".Scene[6]", "7"},
        {".Scene[game]", "Game"}, {".Scene[\"BE RIGHT back\"]", "Be Right Back"}, {".Scene[8]", None},
        {".Scene[-]", None}, {".Scene[\"\"]", None}, {".Scene[Outro]", None}, {".Scene(\"-1\").Name", "-1"}});
    const std::string in = ".CurrentScene.Source";
    ExpectValues({{in + "[1]", "Logo"}, {in + "[1.9]", "Logo"}, {in + "[3]", "0"}, {in + "[0]", "0"},
        {in + "[countdown]", "Countdown"}, {in + "[LOGO]", "Logo"}, {in + "[4]", None}, {in + "[-1]", None},
        {in + "[\"\"]", None}, {in + "[Webcam]", None}, {".Scene[intro].Source[1].X", "40"},
        {".Scene[intro].Source[1].Height", "180"}, {".Scene[Intro].Source[0].Render", "false"},
        {".Scene[Intro].Source[0].Width", "3"}, {".Scene[Game].Source[Webcam].Y", "540"},
        {".Scene[Game].Source[3].Render", "false"}, {".Scene[Game].NumSources", "3"}, {".Scene[7].NumSources", "0"},
        {".Scene[7].Source[1]", None}, {".Scene[INTRO].IsCurrentScene", "true"}, {".Scene[Game].IsCurrentScene", "false"}});
}

TEST_F(ModuleScriptTypes, SceneSourceAndOrderMethodsSendOnlyWhatChangesOBSAsTheScriptWroteIt)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    EXPECT_TRUE(RequestsOf("OBSRemote.Scene[intro].SetCurrentScene()").empty());

    // OBS no longer has the scene the model still lists: the request goes out, OBS answers
    // without switching, and the model's current scene stays.
    SimSceneSet withoutBreak = DefaultSceneSet();
    withoutBreak.Scenes.pop_back();
    Sim->ReplaceScenes(withoutBreak);
    ASSERT_TRUE(Wait("OBSRemote:ScenesChanged"));
    Host->EventTable().ClearPending();
    EXPECT_EQ(Described(RequestsOf("OBSRemote.Scene[\"Be Right Back\"].SetCurrentScene()")),
        Lines{"SetCurrentScene Be Right Back"});
    // The plug-in answers in order, so OBS's answer to the switch has been handled by then.
    ASSERT_TRUE(Call("OBSRemote.GetCurrentScene()"));
    ASSERT_TRUE(Wait("OBSRemote:CurrentSceneRsp", {"Intro"}));
    ExpectValues({{".Scene[\"Be Right Back\"].IsCurrentScene", "false"}, {".CurrentSceneName", "Intro"}});

    EXPECT_EQ(Described(RequestsOf("OBSRemote.Scene[2].SetCurrentScene()")), Lines{"SetCurrentScene Game"});
    ASSERT_TRUE(Wait("OBSRemote:SwitchScenes", {"Game"}));
    EXPECT_EQ(Value("OBSRemote.Scene[2].IsCurrentScene"), Text("true"));

    // Render requests act on the current scene only, and only when the flag changes.
    EXPECT_TRUE(RequestsOf("OBSRemote.Scene[Intro].Source[Logo].SetRender(0)", false).empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.CurrentScene.Source[Webcam].SetRender(TRUE)").empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.CurrentScene.Source[Alerts].SetRender(no)").empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.CurrentScene.Source[Alerts].SetRender()", false).empty());
    EXPECT_EQ(Described(RequestsOf("OBSRemote.CurrentScene.Source[Webcam].SetRender(\"0\")")),
        Lines{"SetSourceRender Webcam false"});
    ASSERT_TRUE(Wait("OBSRemote:SourceChanged"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[Webcam].Render"), Text("false"));
    EXPECT_EQ(Described(RequestsOf("OBSRemote.CurrentScene.Source[Alerts].SetRender(-2)")),
        Lines{"SetSourceRender Alerts true"});

    EXPECT_EQ(Described(RequestsOf("OBSRemote.SetSourceOrder(Alerts, Webcam, \"Game Capture\")")),
        Lines{R"(SetSourceOrder ["Alerts","Webcam","Game Capture"])"});
    ASSERT_TRUE(Wait("OBSRemote:SourceOrderChanged"));
    ExpectValues({{".CurrentScene.Source[1]", "Alerts"}, {".CurrentScene.Source[3]", "Game Capture"}});

    // Names with JSON's special characters must not break or forge the request.
    EXPECT_EQ(Described(RequestsOf(R"(OBSRemote.SetSourceOrder("say \"hi\"", "C:\\cam", "x\",\"y"))")),
        Lines{R"(SetSourceOrder ["say \"hi\"","C:\\cam","x\",\"y"])"});
}

TEST_F(ModuleScriptTypes, MethodsWhileDisconnectedPrintNotConnectedAndUseNoMessageId)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    ASSERT_FALSE(RequestsUntilMarker(0).empty());
    const std::string markerId = RequestMember(Sim->Received().back(), "message-id");
    ASSERT_NO_FATAL_FAILURE(Disconnect());

    // Each method's line names its request, which for GetStreamingStatus is GetStreamStatus.
    for (const std::string method : {"GetVersion()", "GetVolumes()", "SetVolume(microphone, 0.5)", "ToggleMicMute()",
             "ToggleDesktopMute()", "Authenticate(admin)", "GetStreamingStatus()", "StartStreaming()", "StartPreview()",
             "GetSceneList()", "GetCurrentScene()", "SetCurrentScene(Game)", "SetSourceOrder(Logo)",
             "SetSourceRender(Logo, 1)"}) {
        const haven::LineResult result = Host->RunLine("OBSRemote." + method);
        const std::string operation = method == "GetStreamingStatus()" ? "GetStreamStatus" : method.substr(0, method.find('('));
        const std::string line = "HVEOBSRemote: " + operation + ": Not connected";
        EXPECT_TRUE(result.Ok && std::count(result.Output.begin(), result.Output.end(), line) == 1) << method;
    }
    // The scene and source methods refuse without a word.
    const size_t linesBefore = Host->ConsoleLines().size();
    EXPECT_FALSE(Call("OBSRemote.Scene[Game].SetCurrentScene()"));
    EXPECT_FALSE(Call("OBSRemote.Scene[Intro].Source[Logo].SetRender(0)"));
    for (size_t i = linesBefore; i < Host->ConsoleLines().size(); ++i) {
        EXPECT_EQ(Host->ConsoleLines()[i].find("HVEOBSRemote"), std::string::npos) << Host->ConsoleLines()[i];
    }

    const size_t secondSession = ReceivedCount();
    ASSERT_TRUE(Call("OBSRemote.Connect()"));
    const std::optional<SimReceived> first = Sim->WaitForRequest("GetVersion", Timeout, secondSession);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(std::strtoull(RequestMember(*first, "message-id").c_str(), nullptr, 10),
        std::strtoull(markerId.c_str(), nullptr, 10) + 1);
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
}

} // namespace
