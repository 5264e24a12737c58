// The real module's connection settings and automatic reconnection, through the host's
// console: the members and methods, where the module connects, what a bad value prints,
// and an OBS restart that the module survives by itself.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/haven/settings_store.h"
#include "tests/support/module_fixture.h"

namespace {

using Text = std::optional<std::string>;

class ModuleConnectionSettings : public ModuleFixture {
protected:
    ModuleConnectionSettings() : ModuleFixture({HVE_MODULE_PATH, HVE_SOURCE_DIR}) {}

    std::string Port() const { return std::to_string(Sim->Port()); }
    // What the host keeps in the extension's settings file.
    std::optional<haven::SettingsMap> Saved() const
    {
        return haven::ReadSettingsXml(Root / "Settings" / "HVEOBSRemote.xml");
    }
    // The line a console call printed besides its own echo.
    std::vector<std::string> PrintedBy(const std::string& line)
    {
        std::vector<std::string> printed;
        for (const std::string& out : Host->RunLine(line).Output) {
            if (out.rfind("HVEOBSRemote: ", 0) == 0) {
                printed.push_back(out);
            }
        }
        return printed;
    }
};

TEST_F(ModuleConnectionSettings, SettingsChooseThePeerAndBadValuesChangeNothing)
{
    EXPECT_EQ(Value("OBSRemote.Host"), Text("localhost"));
    EXPECT_EQ(Value("OBSRemote.Port"), Text(Port()));
    EXPECT_EQ(Value("OBSRemote.AutoReconnect"), Text("false"));
    EXPECT_EQ(Value("OBSRemote.ReconnectAttempt"), Text("0"));
    EXPECT_EQ(Value("OBSRemote.ReconnectDelay"), std::nullopt);
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_NO_FATAL_FAILURE(Disconnect());

    // Each bad value: its one line, nothing written, and the next Connect still works.
    const std::pair<const char*, const char*> bad[] = {
        {"OBSRemote.SetPort(0)", R"(HVEOBSRemote: SetPort: "Port" setting "0" is not a number from 1 to 65535)"},
        {"OBSRemote.SetPort(65536)", R"(HVEOBSRemote: SetPort: "Port" setting "65536" is not a number from 1 to 65535)"},
        {"OBSRemote.SetPort(-1)", R"(HVEOBSRemote: SetPort: "Port" setting "-1" is not a number from 1 to 65535)"},
        {R"(OBSRemote.SetPort("44 44"))",
         R"(HVEOBSRemote: SetPort: "Port" setting "44 44" is not a number from 1 to 65535)"},
        {R"(OBSRemote.SetHost("obs\nhost"))",
         R"(HVEOBSRemote: SetHost: "Host" setting "obs\nhost" holds a character that no host name or address has)"},
        {R"(OBSRemote.SetHost(""))", R"(HVEOBSRemote: SetHost: "Host" setting "" is empty)"},
        {"OBSRemote.SetAutoReconnect(maybe)",
         R"(HVEOBSRemote: SetAutoReconnect: "AutoReconnect" setting "maybe" is none of true, false, 1, 0, yes, no, on, off)"},
    };
    const auto before = Saved();
    for (const auto& [line, printed] : bad) {
        EXPECT_EQ(PrintedBy(line), std::vector<std::string>{printed}) << line;
    }
    const std::string longHost(300, 'h');
    const auto longLines = PrintedBy("OBSRemote.SetHost(" + longHost + ")");
    ASSERT_EQ(longLines.size(), 1u);
    EXPECT_NE(longLines[0].find(longHost + "\" is longer than 253 characters"), std::string::npos);
    EXPECT_EQ(Saved(), before);

    // Good values are kept by the host and read by the next Connect: literals of both
    // address families reach the simulator.
    std::vector<std::string> hosts{"127.0.0.1"};
    if (Sim->ListensOnIPv6()) {
        hosts.push_back("::1");
    }
    for (const std::string& host : hosts) {
        ASSERT_TRUE(Call("OBSRemote.SetHost(\"" + host + "\")"));
        EXPECT_EQ(Value("OBSRemote.Host"), Text(host));
        ASSERT_NO_FATAL_FAILURE(Connect()) << host;
        ASSERT_NO_FATAL_FAILURE(Disconnect());
    }
    ASSERT_TRUE(Call("OBSRemote.SetAutoReconnect(on)"));
    ASSERT_TRUE(Call("OBSRemote.SetPort(" + Port() + ")"));
    const auto saved = Saved();
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->at("Host"), hosts.back());
    EXPECT_EQ(saved->at("Port"), Port());
    EXPECT_EQ(saved->at("AutoReconnect"), "true");
    EXPECT_EQ(Value("OBSRemote.AutoReconnect"), Text("true"));
}

// OBS restarts (the simulator ends and starts again on its port with its salt): the module
// is Ready and accepted again without a script call, and no password attempt is spent.
TEST_F(ModuleConnectionSettings, ObsRestartIsSurvivedByAutomaticReconnection)
{
    ASSERT_TRUE(Call("OBSRemote.SetAutoReconnect(true)"));
    ASSERT_NO_FATAL_FAILURE(ConnectAndAuthenticate());
    const int port = Sim->Port();
    OBSSimulatorOptions options = SimulatorOptions();
    options.Salt = Sim->Salt();
    Sim.reset();
    ASSERT_TRUE(Wait("OBSRemote:StateChanged", {"Disconnected"}));
    Sim = std::make_unique<OBSSimulator>(options);
    ASSERT_TRUE(Sim->Start(port));
    for (const char* state : {"Connecting", "Connected", "Ready"}) {
        ASSERT_TRUE(Wait("OBSRemote:StateChanged", {state}));
    }
    ASSERT_TRUE(Wait("OBSRemote:AuthAccepted"));
    ASSERT_TRUE(Wait("OBSRemote:VolumesRsp"));
    EXPECT_EQ(Value("OBSRemote.ReconnectAttempt"), Text("1"));
    EXPECT_EQ(Value("OBSRemote.IsAuthenticated"), Text("true"));
    EXPECT_EQ(Sim->FailedAuthAttempts(), 0);
    ASSERT_NO_FATAL_FAILURE(Disconnect());
}

} // namespace
