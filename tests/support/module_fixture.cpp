#include "tests/support/module_fixture.h"

#include <stdlib.h> // mkdtemp, free

#include <fstream>
#include <iostream>

#include "platform/haven/settings_store.h"
#include "tests/support/json_value.h"
#include "tests/support/recording_host.h"

namespace fs = std::filesystem;

void ModuleFixture::SetUp()
{
    std::string folder = (fs::temp_directory_path() / "hve-module-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr) << "cannot make a temporary folder";
    Root = folder;
    fs::copy(Paths.Source / "platform/haven/example-root", Root, fs::copy_options::recursive);
    fs::remove_all(Root / "Settings");

    Sim = std::make_unique<OBSSimulator>(SimulatorOptions());
    if (UseDefaultPort) {
        ASSERT_TRUE(Sim->Start(DefaultPort)) << "port 4444 is in use; this test needs it for the OBS Remote simulator";
    } else {
        ASSERT_TRUE(Sim->Start(0));
        WriteModuleSettings({{"Port", std::to_string(Sim->Port())}});
    }

    haven::HostOptions options;
    options.Root = Root;
    options.HttpLog = Root / "http.log";
    options.EchoToStdout = false;
    options.DefaultTimeout = Timeout;
    Host = std::make_unique<haven::HavenHost>(options);
    ASSERT_TRUE(Host->LoadModule(Paths.Module)) << "cannot load " << Paths.Module;
}

OBSSimulatorOptions ModuleFixture::SimulatorOptions()
{
    OBSSimulatorOptions options;
    options.UseAuth = true;
    options.Password = "admin";
    options.StatusInterval = std::chrono::milliseconds(200);
    return options;
}

void ModuleFixture::WriteModuleSettings(const std::map<std::string, std::string>& values) const
{
    ASSERT_TRUE(haven::WriteSettingsXml(Root / "Settings" / "HVEOBSRemote.xml", "HVEOBSRemote",
                                        haven::SettingsMap(values.begin(), values.end())));
}

void ModuleFixture::TearDown()
{
    if (Host) {
        Host->Unload();
        for (const std::string& line : HasFailure() ? Host->ConsoleLines() : std::vector<std::string>{}) {
            std::cerr << "host console: " << line << '\n';
        }
        Host.reset();
    }
    Sim.reset();
    std::error_code ignored;
    fs::remove_all(Root, ignored);
}

bool ModuleFixture::Call(const std::string& line)
{
    for (const std::string& printed : Host->RunLine(line).Output) {
        if (printed.size() > 8 && printed.compare(printed.size() - 8, 8, " -> true") == 0) {
            return true;
        }
        if (printed.rfind("error: ", 0) == 0 && printed.find(" answered false") != std::string::npos) {
            return false;
        }
    }
    ADD_FAILURE() << line << " is no method call that answered";
    return false;
}

std::optional<std::string> ModuleFixture::Value(const std::string& expression)
{
    const haven::LineResult result = Host->RunLine(expression);
    // Events raised meanwhile on the worker thread are printed among the line's output.
    for (const std::string& printed : result.Output) {
        const size_t equals = printed.find(" = ");
        if (result.Ok && printed.rfind("OBSRemote", 0) == 0 && equals != std::string::npos) {
            return printed.substr(equals + 3);
        }
        if (!result.Ok && printed.rfind("error: ", 0) == 0 && printed.find(" has no value") != std::string::npos) {
            return std::nullopt;
        }
    }
    ADD_FAILURE() << expression << " printed neither a value nor that it has none";
    return "(failed)";
}

void ModuleFixture::Connect(const std::vector<std::string>& authRequired)
{
    ASSERT_TRUE(Call("OBSRemote.Connect()"));
    for (const char* state : {"Connecting", "Connected", "Ready"}) {
        ASSERT_TRUE(Wait("OBSRemote:StateChanged", {state}));
    }
    ASSERT_TRUE(Wait("OBSRemote:AuthRequiredRsp", authRequired));
}

void ModuleFixture::Authenticate(const std::string& password)
{
    ASSERT_TRUE(Call("OBSRemote.Authenticate(" + haven::QuoteText(password) + ")"));
    for (const char* event : {"OBSRemote:AuthAccepted", "OBSRemote:CurrentSceneRsp", "OBSRemote:SceneListRsp",
                              "OBSRemote:StreamStatusRsp", "OBSRemote:VolumesRsp"}) {
        ASSERT_TRUE(Wait(event)) << event;
    }
}

void ModuleFixture::Disconnect()
{
    ASSERT_TRUE(Call("OBSRemote.Disconnect()"));
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
    ASSERT_TRUE(Sim->WaitForConnectionCount(0, Timeout));
}

std::vector<SimReceived> ModuleFixture::RequestsUntilMarker(size_t from)
{
    const size_t markerFrom = ReceivedCount();
    EXPECT_TRUE(Call("OBSRemote.GetVersion()"));
    EXPECT_TRUE(Sim->WaitForRequest("GetVersion", Timeout, markerFrom).has_value()) << "the marker never arrived";
    const std::vector<SimReceived> received = Sim->Received();
    std::vector<SimReceived> before;
    for (size_t i = from; i < received.size() && !(i >= markerFrom && received[i].RequestType == "GetVersion"); ++i) {
        before.push_back(received[i]);
    }
    return before;
}

std::vector<std::string> ModuleFixture::EventsSince(size_t from, const std::string& onlyName) const
{
    const std::vector<haven::HostEvent> raised = Host->RaisedEvents();
    std::vector<std::string> described;
    for (size_t i = from; i < raised.size(); ++i) {
        if (!onlyName.empty() && raised[i].Name != onlyName) {
            continue;
        }
        described.push_back(raised[i].Name);
        for (size_t arg = 0; !onlyName.empty() && arg < raised[i].Args.size(); ++arg) {
            described.back() += " " + haven::QuoteText(raised[i].Args[arg]);
        }
    }
    return described;
}

std::vector<std::string> ModuleFixture::HttpLogLines() const
{
    std::ifstream file(Root / "http.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

void ModuleFixture::ExpectValues(const std::vector<std::pair<std::string, std::optional<std::string>>>& expected)
{
    for (const auto& [member, value] : expected) {
        EXPECT_EQ(Value("OBSRemote" + member), value) << member;
    }
}

std::string ModuleFixture::SourceNames(const std::string& scene)
{
    std::string names;
    const int count = std::stoi(Value("OBSRemote." + scene + ".NumSources").value_or("0"));
    for (int i = 1; i <= count; ++i) {
        names += (i > 1 ? "," : "") + Value("OBSRemote." + scene + ".Source[" + std::to_string(i) + "].Name").value_or("?");
    }
    return names;
}

std::string RequestMember(const SimReceived& request, const char* key)
{
    const JsonValue message = ParseMessage(request.Text);
    json_t* value = message ? json_object_get(message.get(), key) : nullptr;
    if (value == nullptr || json_is_string(value)) {
        return value == nullptr ? "(absent)" : json_string_value(value);
    }
    char* dumped = json_dumps(value, JSON_ENCODE_ANY | JSON_COMPACT);
    std::string text = dumped != nullptr ? dumped : "";
    free(dumped);
    return text;
}
