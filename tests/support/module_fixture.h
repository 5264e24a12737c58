// The real module in the host stand-in, talking over loopback to the OBS Remote simulator.
// The simulator listens on a free port that the extension's settings name (the host name
// stays the default, localhost), or, for fixtures that ask for it, on the default port 4444
// with no settings at all. Each test gets a fresh host whose root is a copy of the example
// root (with the stream-info file) and whose HTTP requests go to a log file the test can read.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/haven/haven_host.h"
#include "tests/support/recording_host.h"
#include "tools/simulator/obs_simulator.h"

// The support library is built without the test programs' path definitions, so each test
// program hands its own over.
struct ModulePaths {
    std::string Module;          // HVE_MODULE_PATH
    std::filesystem::path Source; // HVE_SOURCE_DIR
};

class ModuleFixture : public ::testing::Test {
protected:
    static constexpr int DefaultPort = 4444;
    static constexpr std::chrono::milliseconds Timeout{10000};

    // defaultPort: the simulator takes port 4444 and the module runs without settings.
    explicit ModuleFixture(ModulePaths paths, bool defaultPort = false)
        : Paths(std::move(paths)), UseDefaultPort(defaultPort)
    {
    }

    void SetUp() override;
    void TearDown() override;

    // Calls a method through the console and answers what the method answered.
    bool Call(const std::string& line);
    // The text of an expression's value; nothing when the expression has no value.
    std::optional<std::string> Value(const std::string& expression);
    // Takes the oldest pending event of that name whose arguments begin with args.
    bool Wait(const std::string& event, const std::vector<std::string>& args = {})
    {
        return Host->WaitForEvent(event, Timeout, args);
    }

    // Checks the condition every 10 ms until it holds; false when it does not in time.
    bool Eventually(const std::function<bool()>& condition)
    {
        return ::Eventually(condition, Timeout, std::chrono::milliseconds(10));
    }

    // Connects and waits for Ready and the plug-in's demand for a password (whose arguments
    // begin with authRequired).
    void Connect(const std::vector<std::string>& authRequired = {});
    // Authenticates and waits for the answers that follow, after which the plug-in sends this
    // connection its updates.
    void Authenticate(const std::string& password = "admin");
    void ConnectAndAuthenticate()
    {
        ASSERT_NO_FATAL_FAILURE(Connect());
        ASSERT_NO_FATAL_FAILURE(Authenticate());
    }
    void Disconnect();

    // What the simulator received from `from` on, up to (not including) a GetVersion sent
    // now as a marker: requests leave in the order the script issued them, so once the
    // marker has arrived, everything asked for before it has arrived too.
    std::vector<SimReceived> RequestsUntilMarker(size_t from);
    size_t ReceivedCount() const { return Sim->Received().size(); }
    // Names (or, for onlyName, `name "arg" ...`) of the events raised from index `from` on.
    std::vector<std::string> EventsSince(size_t from, const std::string& onlyName = "") const;
    size_t EventCount() const { return Host->RaisedEvents().size(); }
    std::vector<std::string> HttpLogLines() const;
    // Each member below OBSRemote has the value given; nothing for a member without a value.
    void ExpectValues(const std::vector<std::pair<std::string, std::optional<std::string>>>& expected);
    // The names of a scene's sources (the scene as a member below OBSRemote), top first,
    // separated by commas.
    std::string SourceNames(const std::string& scene);

    // The simulator's options (password "admin", StreamStatus every 200 ms).
    static OBSSimulatorOptions SimulatorOptions();
    // Writes the extension's settings file of the host's root, before the host loads it.
    void WriteModuleSettings(const std::map<std::string, std::string>& values) const;

    ModulePaths Paths;
    bool UseDefaultPort;
    std::filesystem::path Root; // HTTP requests go to its http.log
    std::unique_ptr<haven::HavenHost> Host;
    std::unique_ptr<OBSSimulator> Sim;
};

// A request's member as text: strings as they are, other values in JSON notation.
std::string RequestMember(const SimReceived& request, const char* key);
