// The real module's connection settings through the host's console: the members and
// methods, where the module connects, and what a bad value prints.
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

    // A bad value given to a method prints its one line through the host and writes nothing;
    // which values are bad, and their lines, are the client's own concern.
    const std::pair<const char*, const char*> bad[] = {
        {R"(OBSRemote.SetPort("44 44"))",
         R"(HVEOBSRemote: SetPort: "Port" setting "44 44" is not a number from 1 to 65535)"},
        {R"(OBSRemote.SetHost("obs\nhost"))",
         R"(HVEOBSRemote: SetHost: "Host" setting "obs\nhost" holds a character that no host name or address has)"},
        {"OBSRemote.SetAutoReconnect(maybe)",
         R"(HVEOBSRemote: SetAutoReconnect: "AutoReconnect" setting "maybe" is none of true, false, 1, 0, yes, no, on, off)"},
    };
    const auto before = Saved();
    for (const auto& [line, printed] : bad) {
        EXPECT_EQ(PrintedBy(line), std::vector<std::string>{printed}) << line;
    }
    EXPECT_EQ(Saved(), before);
    // A bad value found among the kept settings makes Connect print its line and start nothing.
    SettingsSetId set = Host->FindExtensionSettings("HVEOBSRemote");
    Host->SetSettingText(set, "Port", "0");
    const size_t events = EventCount();
    EXPECT_EQ(PrintedBy("OBSRemote.Connect()"),
              std::vector<std::string>{R"(HVEOBSRemote: Connect: "Port" setting "0" is not a number from 1 to 65535)"});
    EXPECT_EQ(Value("OBSRemote.State"), Text("Disconnected"));
    EXPECT_TRUE(EventsSince(events).empty());
    ASSERT_TRUE(Call("OBSRemote.SetPort(" + Port() + ")"));

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
    const auto saved = Saved();
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->at("Host"), hosts.back());
    EXPECT_EQ(saved->at("Port"), Port());
    EXPECT_EQ(saved->at("AutoReconnect"), "true");
    EXPECT_EQ(Value("OBSRemote.AutoReconnect"), Text("true"));
}

} // namespace
