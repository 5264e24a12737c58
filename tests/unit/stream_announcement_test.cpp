// Announcing a real stream: the stream-info file, the URL and what is sent when.
#include "client/stream_announcement.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

const char* const RealStart = R"({"update-type": "StreamStarting", "preview-only": false})";

class Announcement : public ::testing::Test, protected MessageHarness {
protected:
    int Identity = 0;

    void SetUp() override
    {
        client.Link.Identity.store(&Identity);
        client.Link.HttpConnection.store(7);
        host.Clear();
    }
    // Starts a real stream with this stream-info file.
    void Start(const std::map<std::string, std::string>& settings)
    {
        host.SettingsFiles["Scripts/TwitchStreamInfo.XML"] = settings;
        Send(RealStart);
    }
    static std::string Url(const std::string& user, const std::string& key, const std::string& site)
    {
        return std::string("http://") + AnnouncementServiceHost + "/tandemplay/hvetwitch?displayName=" + user +
               "&kestrelKey=" + key + "&site=" + site + "&client=hveobsremote";
    }
    Lines SentUrls()
    {
        Lines urls;
        for (const RecordedServiceRequest& request : host.Requests()) {
            urls.push_back(request.Url);
        }
        return urls;
    }
};

// The file is read and closed, the URL sent, and only then the event raised. StreamUser
// falls back to TwitchUser when empty, the site to Twitch; a missing file keeps the last
// values; values are encoded so that they cannot forge the query. Nothing is sent without a
// key or a user, and a preview does not even read the file.
TEST_F(Announcement, RealStartsAnnounceWithFallbacksAndEncoding)
{
    Start({{"KestrelKey", "K1"}, {"StreamUser", "Ann"}, {"StreamSite", "Hitbox"}});
    EXPECT_EQ(host.Calls(),
              (Lines{"OpenSettingsFile Scripts/TwitchStreamInfo.XML", "CloseSettings 100", "ServiceRequest 7 1001"}));
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStarting "1" "0")"}));
    Start({{"KestrelKey", "K"}, {"StreamUser", ""}, {"TwitchUser", "tw"}});
    Start({{"KestrelKey", "K"}, {"StreamUser", "su"}, {"TwitchUser", "tw"}, {"StreamSite", ""}});
    host.SettingsFiles.clear();
    Send(RealStart);
    EXPECT_EQ(host.Calls()[host.Calls().size() - 2], "CloseSettings 0");
    Start({{"KestrelKey", "k&site=evil"}, {"StreamUser", "Ann Lee & Co/~x.y_z-1"}, {"StreamSite", "\xC3\xA9#?="}});
    Start({{"KestrelKey", ""}, {"StreamUser", "Ann"}});
    Start({{"KestrelKey", "K"}});
    EXPECT_EQ(SentUrls(), (Lines{Url("Ann", "K1", "Hitbox"), Url("tw", "K", "Twitch"), Url("su", "K", "Twitch"),
                                 Url("su", "K", "Twitch"),
                                 Url("Ann%20Lee%20%26%20Co%2F~x.y_z-1", "k%26site%3Devil", "%C3%A9%23%3F%3D")}));
    EXPECT_EQ(PercentEncode(std::string("\x01\x7F\xFF", 3)), "%01%7F%FF");

    host.Clear();
    Send(R"({"update-type":"StreamStarting","preview-only":true})");
    EXPECT_TRUE(host.Calls().empty()); // the file is not even read
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStarting "1" "1")"}));
}

// Settings hold at most 255 characters, so the URL reaches its 511-character limit only
// through encoding: each '&' takes three characters.
TEST_F(Announcement, UrlPastItsLimitIsNotSent)
{
    const size_t room = 511 - Url("", "K", "Twitch").size(), ampersands = (room - 253) / 2; // 253 or 254 long
    const std::string user = std::string(ampersands, '&') + std::string(room - 3 * ampersands, 'u');
    Start({{"KestrelKey", "K"}, {"StreamUser", user}});
    EXPECT_EQ(SentUrls().at(0).size(), 511u);
    host.Clear();
    Start({{"KestrelKey", "K"}, {"StreamUser", user + "u"}});
    Start({{"KestrelKey", std::string(255, ' ')}, {"StreamUser", std::string(255, '&')},
           {"StreamSite", std::string(255, '#')}});
    EXPECT_TRUE(SentUrls().empty());
    EXPECT_EQ(host.Lines(), Lines(2, "HVEOBSRemote: AnnounceStream: URL too long"));
    EXPECT_EQ(host.CountEvents("OBSRemote:StreamStarting"), 2u);
}

} // namespace
