// The script types of the real module, driven through the host's console against the OBS
// Remote simulator: which members have values in which state, how arguments are read, how
// scenes and sources are found, and which requests script methods make the module send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/module_fixture.h"

namespace {

using Text = std::optional<std::string>;

class ModuleScriptTypes : public ModuleFixture {
protected:
    ModuleScriptTypes() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}) {}

    // The requests a console line made the module send.
    std::vector<SimReceived> RequestsOf(const std::string& line, bool answer = true)
    {
        const size_t from = ReceivedCount();
        EXPECT_EQ(Call(line), answer) << line;
        return RequestsUntilMarker(from);
    }

    void ExpectNoValue(const std::vector<std::string>& members)
    {
        for (const std::string& member : members) {
            EXPECT_EQ(Value("OBSRemote." + member), std::nullopt) << member;
        }
    }
};

const std::vector<std::string> StatusMembers = {
    "RemoteVersion", "IsMicrophoneMuted", "IsDesktopMuted", "DesktopVolume", "MicrophoneVolume",
    "IsStreaming", "IsPreview", "BytesPerSecond", "Strain", "TotalStreamTime", "NumTotalFrames",
    "NumDroppedFrames", "FPS"};

uint64_t MessageId(const SimReceived& request)
{
    return std::strtoull(RequestMember(request, "message-id").c_str(), nullptr, 10);
}

TEST_F(ModuleScriptTypes, MembersHaveValuesOnlyInTheStatesThatFillThem)
{
    EXPECT_EQ(Value("OBSRemote"), Text("HVEOBSRemote"));
    EXPECT_EQ(Value("OBSRemote.State"), Text("Disconnected"));
    ExpectNoValue(StatusMembers);
    ExpectNoValue({"AuthRequired", "IsAuthenticated", "CurrentScene", "Scene[1]"});
    EXPECT_EQ(Value("OBSRemote.CurrentSceneName"), Text(""));
    EXPECT_EQ(Value("OBSRemote.NumScenes"), Text("0"));

    // The plug-in wants a password: until it has one it answers only the version and the
    // demand, and refuses the other four opening requests.
    ASSERT_NO_FATAL_FAILURE(Connect());
    for (int refused = 0; refused < 4; ++refused) {
        ASSERT_TRUE(Wait("OBSRemote:Error", {"Not Authenticated"}));
    }
    EXPECT_EQ(Value("OBSRemote.State"), Text("Ready"));
    EXPECT_EQ(Value("OBSRemote.AuthRequired"), Text("true"));
    EXPECT_EQ(Value("OBSRemote.IsAuthenticated"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.RemoteVersion"), Text("1.1"));
    ExpectNoValue({"MicrophoneVolume", "IsStreaming", "BytesPerSecond", "CurrentScene"});
    EXPECT_EQ(Value("OBSRemote.NumScenes"), Text("0"));

    const size_t beforeAuth = EventCount();
    ASSERT_TRUE(Call("OBSRemote.Authenticate(admin)"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp", {"0", "1.0000", "0", "1.0000"}));
    EXPECT_EQ(EventsSince(beforeAuth),
        (std::vector<std::string>{"OBSRemote:AuthAccepted", "OBSRemote:CurrentSceneRsp", "OBSRemote:SceneListRsp",
            "OBSRemote:StreamStatusRsp", "OBSRemote:VolumesRsp"}));
    EXPECT_EQ(Value("OBSRemote.IsAuthenticated"), Text("true"));
    EXPECT_EQ(Value("OBSRemote.AuthRequired"), Text("true"));
    EXPECT_EQ(Value("OBSRemote.MicrophoneVolume"), Text("1"));
    EXPECT_EQ(Value("OBSRemote.IsDesktopMuted"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.IsStreaming"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.IsPreview"), Text("false"));
    ExpectNoValue({"BytesPerSecond", "FPS"}); // no stream has reported figures yet
    EXPECT_EQ(Value("OBSRemote.CurrentSceneName"), Text("Intro"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene"), Text("Intro"));
    EXPECT_EQ(Value("OBSRemote.NumScenes"), Text("3"));
    EXPECT_EQ(Value("OBSRemote.Scene[3]"), Text("Be Right Back"));

    // Disconnecting forgets the status but keeps the last scene list.
    ASSERT_NO_FATAL_FAILURE(Disconnect());
    EXPECT_EQ(Value("OBSRemote.State"), Text("Disconnected"));
    ExpectNoValue(StatusMembers);
    ExpectNoValue({"AuthRequired", "IsAuthenticated"});
    EXPECT_EQ(Value("OBSRemote.NumScenes"), Text("3"));
    EXPECT_EQ(Value("OBSRemote.Scene[2].Source[2].Name"), Text("Webcam"));
    EXPECT_EQ(EventsSince(beforeAuth, "OBSRemote:AuthAccepted").size(), 1u);
}

TEST_F(ModuleScriptTypes, FlagAndNumberArgumentsAsThePluginReceivesThem)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    const std::vector<std::string> trueTexts = {"TRUE", "true", "1", "-2", "0.5", " 3e2"};
    const std::vector<std::string> falseTexts = {"false", "0", "yes", "", "off", "0.0"};
    for (const auto* texts : {&trueTexts, &falseTexts}) {
        const std::string expected = texts == &trueTexts ? "true" : "false";
        for (const std::string& flag : *texts) {
            const std::string quoted = "\"" + flag + "\"";
            std::vector<SimReceived> sent = RequestsOf("OBSRemote.SetVolume(microphone, 0.5, " + quoted + ")");
            ASSERT_EQ(sent.size(), 1u) << flag;
            EXPECT_EQ(RequestMember(sent[0], "final"), expected) << flag;
            EXPECT_EQ(RequestMember(sent[0], "volume"), "0.5") << flag;
            EXPECT_EQ(RequestMember(sent[0], "channel"), "microphone");

            sent = RequestsOf("OBSRemote.SetSourceRender(Logo, " + quoted + ")");
            ASSERT_EQ(sent.size(), 1u) << flag;
            EXPECT_EQ(RequestMember(sent[0], "render"), expected) << flag;
            EXPECT_EQ(RequestMember(sent[0], "source"), "Logo");
        }
    }

    // Volumes are read as numbers, not limited, and a missing final flag is false.
    const std::vector<std::pair<std::string, std::string>> volumes = {
        {"0.25", "0.25"}, {"1.5", "1.5"}, {"-0.75", "-0.75"}, {"loud", "0.0"}, {"2.5dB", "2.5"}};
    for (const auto& [text, sent] : volumes) {
        const std::vector<SimReceived> requests = RequestsOf("OBSRemote.SetVolume(desktop, \"" + text + "\")");
        ASSERT_EQ(requests.size(), 1u) << text;
        EXPECT_EQ(RequestMember(requests[0], "volume"), sent) << text;
        EXPECT_EQ(RequestMember(requests[0], "final"), "false") << text;
    }

    // Too few arguments: the method answers false and nothing goes out.
    EXPECT_TRUE(RequestsOf("OBSRemote.SetVolume(microphone)", false).empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.SetSourceRender(Logo)", false).empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.SetCurrentScene()", false).empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.SetSourceOrder()", false).empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.Authenticate()", false).empty());
}

TEST_F(ModuleScriptTypes, ScenesAndSourcesByPositionAndByName)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    // Scenes and a source whose names look like positions.
    for (const char* name : {"0", "-1", "7"}) {
        ASSERT_TRUE(Sim->AddScene(name));
    }
    ASSERT_TRUE(Sim->AddSource(SimSource{"0", 1.0f, 2.0f, 3.0f, 4.0f, false}));
    ASSERT_TRUE(Wait("OBSRemote:RepopulateSources"));
    ASSERT_TRUE(Call("OBSRemote.GetSceneList()"));
    ASSERT_TRUE(Wait("OBSRemote:SceneListRsp"));
    ASSERT_EQ(Value("OBSRemote.NumScenes"), Text("6"));

    const std::vector<std::pair<std::string, Text>> scenes = {
        {"1", Text("Intro")}, {"1.9", Text("Intro")}, {"2", Text("Game")}, {"4", Text("0")},
        {"0", Text("0")}, {"-1", Text("-1")}, {"7", Text("7")}, {"6", Text("7")},
        {"game", Text("Game")}, {"\"BE RIGHT back\"", Text("Be Right Back")},
        {"8", std::nullopt}, {"-", std::nullopt}, {"\"\"", std::nullopt}, {"Outro", std::nullopt},
        {"99999999999", std::nullopt}};
    for (const auto& [argument, name] : scenes) {
        EXPECT_EQ(Value("OBSRemote.Scene[" + argument + "]"), name) << argument;
    }
    EXPECT_EQ(Value("OBSRemote.Scene(\"-1\").Name"), Text("-1"));

    const std::vector<std::pair<std::string, Text>> sources = {
        {"1", Text("Logo")}, {"1.9", Text("Logo")}, {"3", Text("0")}, {"0", Text("0")},
        {"countdown", Text("Countdown")}, {"LOGO", Text("Logo")}, {"4", std::nullopt}, {"-1", std::nullopt},
        {"\"\"", std::nullopt}, {"Webcam", std::nullopt}};
    for (const auto& [argument, name] : sources) {
        EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[" + argument + "]"), name) << argument;
    }
    EXPECT_EQ(Value("OBSRemote.Scene[intro].Source[1].X"), Text("40"));
    EXPECT_EQ(Value("OBSRemote.Scene[intro].Source[1].Height"), Text("180"));
    EXPECT_EQ(Value("OBSRemote.Scene[Intro].Source[0].Render"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.Scene[Intro].Source[0].Width"), Text("3"));
    EXPECT_EQ(Value("OBSRemote.Scene[Game].Source[Webcam].Y"), Text("540"));
    EXPECT_EQ(Value("OBSRemote.Scene[Game].Source[3].Render"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.Scene[Game].NumSources"), Text("3"));
    EXPECT_EQ(Value("OBSRemote.Scene[7].NumSources"), Text("0"));
    EXPECT_EQ(Value("OBSRemote.Scene[7].Source[1]"), std::nullopt);
    EXPECT_EQ(Value("OBSRemote.Scene[INTRO].IsCurrentScene"), Text("true"));
    EXPECT_EQ(Value("OBSRemote.Scene[Game].IsCurrentScene"), Text("false"));
}

TEST_F(ModuleScriptTypes, SceneAndSourceMethodsSendOnlyWhatChangesOBS)
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
    std::vector<SimReceived> sent = RequestsOf("OBSRemote.Scene[\"Be Right Back\"].SetCurrentScene()");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].RequestType, "SetCurrentScene");
    EXPECT_EQ(RequestMember(sent[0], "scene-name"), "Be Right Back");
    // The plug-in answers in order, so OBS's answer to the switch has been handled by then.
    ASSERT_TRUE(Call("OBSRemote.GetCurrentScene()"));
    ASSERT_TRUE(Wait("OBSRemote:CurrentSceneRsp", {"Intro"}));
    EXPECT_EQ(Value("OBSRemote.Scene[\"Be Right Back\"].IsCurrentScene"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.CurrentSceneName"), Text("Intro"));

    sent = RequestsOf("OBSRemote.Scene[2].SetCurrentScene()");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(RequestMember(sent[0], "scene-name"), "Game");
    ASSERT_TRUE(Wait("OBSRemote:SwitchScenes", {"Game"}));
    EXPECT_EQ(Value("OBSRemote.Scene[2].IsCurrentScene"), Text("true"));

    // Render requests act on the current scene only, and only when the flag changes.
    EXPECT_TRUE(RequestsOf("OBSRemote.Scene[Intro].Source[Logo].SetRender(0)", false).empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.CurrentScene.Source[Webcam].SetRender(TRUE)").empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.CurrentScene.Source[Alerts].SetRender(no)").empty());
    EXPECT_TRUE(RequestsOf("OBSRemote.CurrentScene.Source[Alerts].SetRender()", false).empty());
    sent = RequestsOf("OBSRemote.CurrentScene.Source[Webcam].SetRender(\"0\")");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(RequestMember(sent[0], "source"), "Webcam");
    EXPECT_EQ(RequestMember(sent[0], "render"), "false");
    ASSERT_TRUE(Wait("OBSRemote:SourceChanged"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[Webcam].Render"), Text("false"));
    sent = RequestsOf("OBSRemote.CurrentScene.Source[Alerts].SetRender(-2)");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(RequestMember(sent[0], "render"), "true");
}

TEST_F(ModuleScriptTypes, SourceOrderNamesArriveAsTheScriptWroteThem)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    std::vector<SimReceived> sent = RequestsOf("OBSRemote.SetSourceOrder(Countdown, Logo)");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(RequestMember(sent[0], "scene-names"), R"(["Countdown","Logo"])");
    ASSERT_TRUE(Wait("OBSRemote:SourceOrderChanged"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[1]"), Text("Countdown"));
    EXPECT_EQ(Value("OBSRemote.CurrentScene.Source[2]"), Text("Logo"));

    // Names with JSON's special characters must not break or forge the request.
    sent = RequestsOf(R"(OBSRemote.SetSourceOrder("say \"hi\"", "C:\\cam", "x\",\"y"))");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(RequestMember(sent[0], "scene-names"), R"(["say \"hi\"","C:\\cam","x\",\"y"])");
    EXPECT_EQ(RequestMember(sent[0], "request-type"), "SetSourceOrder");
}

TEST_F(ModuleScriptTypes, MethodsWhileDisconnectedPrintNotConnectedAndUseNoMessageId)
{
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    const std::vector<SimReceived> firstSession = RequestsUntilMarker(0);
    ASSERT_FALSE(firstSession.empty());
    const uint64_t markerId = MessageId(Sim->Received().back());
    ASSERT_NO_FATAL_FAILURE(Disconnect());

    const std::vector<std::pair<std::string, std::string>> methods = {
        {"GetVersion()", "GetVersion"}, {"GetVolumes()", "GetVolumes"},
        {"SetVolume(microphone, 0.5)", "SetVolume"}, {"ToggleMicMute()", "ToggleMicMute"},
        {"ToggleDesktopMute()", "ToggleDesktopMute"}, {"Authenticate(admin)", "Authenticate"},
        {"GetStreamingStatus()", "GetStreamStatus"}, {"StartStreaming()", "StartStreaming"},
        {"StartPreview()", "StartPreview"}, {"GetSceneList()", "GetSceneList"},
        {"GetCurrentScene()", "GetCurrentScene"}, {"SetCurrentScene(Game)", "SetCurrentScene"},
        {"SetSourceOrder(Logo)", "SetSourceOrder"}, {"SetSourceRender(Logo, 1)", "SetSourceRender"}};
    for (const auto& [method, operation] : methods) {
        const std::vector<std::string> output = Run("OBSRemote." + method);
        const std::string line = "HVEOBSRemote: " + operation + ": Not connected";
        EXPECT_EQ(std::count(output.begin(), output.end(), line), 1) << method;
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
    EXPECT_EQ(MessageId(*first), markerId + 1);
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
}

} // namespace

namespace {

// Unloading must take the module out of the process: its static objects (extension object,
// frame element factory, client) are destroyed then, and a later load starts afresh.
TEST_F(ModuleScriptTypes, UnloadTakesTheModuleOutOfTheProcessAfterTextMembersWereRead)
{
    EXPECT_EQ(Value("OBSRemote.CurrentSceneName"), Text(""));
    Host->Unload();
    ASSERT_TRUE(Host->LoadModule(Paths.Module)) << "the module stayed loaded with its extension object";
    EXPECT_EQ(Value("OBSRemote.State"), Text("Disconnected"));
}

} // namespace
