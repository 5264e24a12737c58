// Connection settings: which texts each key takes, the line a bad one prints (whatever bytes
// it holds), that a bad setting starts no session, what the script methods write, and the
// reconnection back-off.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "client/connection_settings.h"
#include "client/reconnect.h"
#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// Per key: the texts it takes with the value the set then keeps, and the texts it refuses.
struct KeyCases {
    SettingKey Key;
    std::vector<std::pair<std::string, std::string>> Taken;
    std::vector<std::string> Refused;
};

TEST(ConnectionSettings, EachKeyTakesOnlyItsValues)
{
    const std::string longest(MaxHostLength, 'h');
    const KeyCases cases[] = {
        {SettingKey::Host,
         {{"localhost", "localhost"}, {"studio-pc.lan", "studio-pc.lan"}, {"192.168.0.20", "192.168.0.20"},
          {"::1", "::1"}, {"[fe80::1%eth0]", "fe80::1%eth0"}, {longest, longest}},
         {longest + "h", std::string(300, 'x'), "", "[]", "[127.0.0.1]", "obs\nhost", std::string("obs\0host", 8),
          "obs host", "obs/path", "h\xC3\xA9"}},
        {SettingKey::Port,
         {{"4455", "4455"}, {"1", "1"}, {"65535", "65535"}, {"004444", "4444"}},
         {"0", "65536", "-1", "+4444", "44 44", " 4444", "4444.0", "99999999999999999999", ""}},
        {SettingKey::AutoReconnect,
         {{"TRUE", "true"}, {"on", "true"}, {"1", "true"}, {"No", "false"}, {"0", "false"}},
         {"maybe", "truex", ""}},
        {SettingKey::Protocol,
         {{"OBS-WebSocket", "obs-websocket"}, {"obsapi", "obsapi"}},
         {"obs websocket", "obsapi\n", ""}},
    };
    for (const KeyCases& c : cases) {
        for (const auto& [text, kept] : c.Taken) {
            ConnectionSettings settings;
            std::string reason;
            EXPECT_TRUE(ParseSetting(c.Key, text, settings, reason)) << SettingName(c.Key) << " " << text;
            EXPECT_EQ(FormatSetting(c.Key, settings), kept);
        }
        for (const std::string& text : c.Refused) {
            ConnectionSettings settings;
            std::string reason;
            EXPECT_FALSE(ParseSetting(c.Key, text, settings, reason)) << SettingName(c.Key) << " " << text;
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(FormatSetting(c.Key, settings), FormatSetting(c.Key, ConnectionSettings())) << "changed in part";
        }
    }
    // Without a "Port", each protocol connects to its own.
    ConnectionSettings studio;
    studio.Protocol = WireKind::ObsWebSocket;
    EXPECT_EQ(EffectivePort(ConnectionSettings()), 4444);
    EXPECT_EQ(EffectivePort(studio), 4455);
    studio.Port = 4444;
    EXPECT_EQ(EffectivePort(studio), 4444);
}

// A client whose host keeps an extension settings set (id 1).
struct SettingsHarness : MessageHarness {
    SettingsHarness() { client.Link.Settings.store(1); }
};

// Each bad value gives one line naming the key and the whole value, escaped onto one line,
// and Connect then starts nothing: no event, no worker, still Disconnected. (The module's
// tests print the other refusals through the script methods.)
TEST(ConnectionSettings, BadValuesPrintOneLineEachAndStartNoSession)
{
    struct Case {
        const char* Key;
        std::string Bytes;
        std::string Line;
    };
    const Case cases[] = {
        {"Port", "0", R"(HVEOBSRemote: Connect: "Port" setting "0" is not a number from 1 to 65535)"},
        {"Host", std::string("local\0host", 10),
         R"(HVEOBSRemote: Connect: "Host" setting "local\x00host" holds a NUL character)"},
        {"Host", std::string(5000, 'b'), R"(HVEOBSRemote: Connect: "Host" setting is longer than 1022 characters)"},
        {"AutoReconnect", "sometimes",
         R"(HVEOBSRemote: Connect: "AutoReconnect" setting "sometimes" is none of true, false, 1, 0, yes, no, on, off)"},
    };
    for (const Case& c : cases) {
        SettingsHarness h;
        h.host.PutSetting(c.Key, c.Bytes);
        h.client.Connect();
        EXPECT_EQ(h.host.Lines(), Lines{c.Line}) << c.Key;
        EXPECT_TRUE(h.host.Events().empty());
        EXPECT_EQ(h.client.State.load(), Disconnected);
        EXPECT_FALSE(h.client.Worker.IsRunning.load());
    }
    // Two bad keys: two lines, in key order.
    SettingsHarness h;
    h.host.PutSetting("AutoReconnect", "?");
    h.host.PutSetting("Host", "a b");
    h.client.Connect();
    ASSERT_EQ(h.host.Lines().size(), 2u);
    EXPECT_EQ(h.host.Lines()[0].rfind(R"(HVEOBSRemote: Connect: "Host" setting "a b")", 0), 0u);
    EXPECT_EQ(h.client.State.load(), Disconnected);
}

// A good value is written in the set's form (the module's tests check that a bad one prints
// its line and writes nothing). Without a set the client keeps the value itself.
TEST(ConnectionSettings, ChangesAreCheckedThenWritten)
{
    SettingsHarness h;
    h.client.ChangeConnectionSetting("SetPort", SettingKey::Port, "0044");
    h.client.ChangeConnectionSetting("SetAutoReconnect", SettingKey::AutoReconnect, "YES");
    h.client.ChangeConnectionSetting("SetHost", SettingKey::Host, "[::1]");
    const auto written = h.host.WrittenSettings();
    EXPECT_EQ(written, (std::map<std::string, std::string>{{"AutoReconnect", "true"}, {"Host", "::1"}, {"Port", "44"}}));
    const OBSRemoteClient::SettingsReading reading = h.client.ReadConnectionSettings();
    EXPECT_EQ(reading.Values.Host, "::1");
    EXPECT_EQ(reading.Values.Port, 44);
    EXPECT_TRUE(reading.Values.AutoReconnect);

    MessageHarness bare; // no settings set
    bare.client.ChangeConnectionSetting("SetPort", SettingKey::Port, "4455");
    EXPECT_EQ(bare.client.Endpoint.Port, 4455);
    EXPECT_TRUE(bare.host.WrittenSettings().empty());
}

TEST(ReconnectBackoff, DoublesFrom500msTo30sWithin20PercentAndResets)
{
    const uint32_t nominal[] = {500, 1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};
    ReconnectBackoff backoff(7);
    for (int round = 0; round < 2; ++round) {
        for (uint32_t expected : nominal) {
            const uint32_t delay = backoff.NextDelayMs();
            EXPECT_GE(delay, expected * 8 / 10);
            EXPECT_LE(delay, expected * 12 / 10);
        }
        backoff.Reset();
    }
    // The jitter spreads clients out: many first delays are not all alike.
    std::set<uint32_t> firsts;
    for (uint32_t seed = 0; seed < 50; ++seed) {
        ReconnectBackoff fresh(seed);
        firsts.insert(fresh.NextDelayMs());
    }
    EXPECT_GT(firsts.size(), 20u);
}

} // namespace
