#include "tests/support/module_fixture.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include "tests/support/json_value.h"

namespace fs = std::filesystem;

namespace {

// A new, empty folder under the system's temporary folder (mkdtemp is not everywhere).
fs::path MakeTemporaryFolder()
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() / ("hve-module-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            return candidate;
        }
    }
    return {};
}

} // namespace

OBSSimulatorOptions ModuleFixture::DefaultSimulatorOptions()
{
    OBSSimulatorOptions options;
    options.UseAuth = true;
    options.Password = "admin";
    options.StatusInterval = std::chrono::milliseconds(200);
    return options;
}

ModuleFixture::ModuleFixture(ModulePaths paths, OBSSimulatorOptions options)
    : Paths(std::move(paths)), SimOptions(std::move(options))
{
}

ModuleFixture::~ModuleFixture() = default;

void ModuleFixture::SetUp()
{
    Root = MakeTemporaryFolder();
    ASSERT_FALSE(Root.empty()) << "cannot make a temporary folder";
    fs::copy(Paths.Source / "platform/haven/example-root", Root, fs::copy_options::recursive);
    std::error_code ignored;
    fs::remove_all(Root / "Settings", ignored);
    HttpLog = Root / "http.log";

    Sim = std::make_unique<OBSSimulator>(SimOptions);
    ASSERT_TRUE(Sim->Start(Port)) << "port 4444 is in use; these tests need it for the OBS Remote simulator";

    haven::HostOptions options;
    options.Root = Root;
    options.HttpLog = HttpLog;
    options.EchoToStdout = false;
    options.DefaultTimeout = Timeout;
    Host = std::make_unique<haven::HavenHost>(options);
    ASSERT_TRUE(Host->LoadModule(Paths.Module)) << "cannot load " << Paths.Module;
}

void ModuleFixture::TearDown()
{
    if (Host) {
        Host->Unload();
        if (HasFailure()) {
            std::cerr << "--- host console\n";
            for (const std::string& line : Host->ConsoleLines()) {
                std::cerr << line << '\n';
            }
        }
        Host.reset();
    }
    if (Sim) {
        Sim->Stop();
        Sim.reset();
    }
    if (!Root.empty()) {
        std::error_code ignored;
        fs::remove_all(Root, ignored);
    }
}

std::vector<std::string> ModuleFixture::Run(const std::string& line)
{
    const haven::LineResult result = Host->RunLine(line);
    EXPECT_TRUE(result.Ok) << line << (result.Output.empty() ? "" : "\n  printed: " + result.Output.back());
    return result.Output;
}

bool ModuleFixture::Call(const std::string& line)
{
    const haven::LineResult result = Host->RunLine(line);
    for (const std::string& printed : result.Output) {
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
        if (result.Ok && printed.rfind("OBSRemote", 0) == 0) {
            const size_t equals = printed.find(" = ");
            if (equals != std::string::npos) {
                return printed.substr(equals + 3);
            }
        }
        if (!result.Ok && printed.rfind("error: ", 0) == 0 && printed.find(" has no value") != std::string::npos) {
            return std::nullopt;
        }
    }
    ADD_FAILURE() << expression << " printed neither a value nor that it has none";
    return "(failed)";
}

bool ModuleFixture::Wait(const std::string& event, const std::vector<std::string>& args)
{
    return Host->WaitForEvent(event, Timeout, args);
}

bool ModuleFixture::Eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ModuleFixture::Connect()
{
    ASSERT_TRUE(Call("OBSRemote.Connect()"));
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Connecting"}));
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Connected"}));
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Ready"}));
    ASSERT_TRUE(Wait("OBSRemote:AuthRequiredRsp"));
}

void ModuleFixture::ConnectAndAuthenticate()
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(Call("OBSRemote.Authenticate(admin)"));
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(Wait("OBSRemote:SceneListRsp"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp"));
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
    std::vector<SimReceived> received = Sim->Received();
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
        if (onlyName.empty()) {
            described.push_back(raised[i].Name);
        } else if (raised[i].Name == onlyName) {
            described.push_back(DescribeEvent(raised[i]));
        }
    }
    return described;
}

std::vector<std::string> ModuleFixture::HttpLogLines() const
{
    std::ifstream file(HttpLog);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string DescribeEvent(const haven::HostEvent& event)
{
    std::string text = event.Name;
    for (const std::string& arg : event.Args) {
        text += " " + haven::QuoteText(arg);
    }
    return text;
}

std::string RequestMember(const SimReceived& request, const char* key)
{
    const JsonValue message = ParseMessage(request.Text);
    json_t* value = message ? json_object_get(message.get(), key) : nullptr;
    if (value == nullptr) {
        return "(absent)";
    }
    if (json_is_string(value)) {
        return json_string_value(value);
    }
    char* dumped = json_dumps(value, JSON_ENCODE_ANY | JSON_COMPACT);
    std::string text = dumped != nullptr ? dumped : "";
    std::free(dumped);
    return text;
}
