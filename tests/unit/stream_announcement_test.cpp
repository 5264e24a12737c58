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
    void File(const std::map<std::string, std::string>& settings)
    {
        host.SettingsFiles["Scripts/TwitchStreamInfo.XML"] = settings;
    }
    std::string Url(const std::string& user, const std::string& key, const std::string& site)
    {
        return std::string("http://") + AnnouncementServiceHost + "/tandemplay/hvetwitch?displayName=" + user +
               "&kestrelKey=" + key + "&site=" + site + "&client=hveobsremote";
    }
    std::vector<std::string> SentUrls()
    {
        std::vector<std::string> urls;
        for (const RecordedServiceRequest& request : host.Requests()) {
            EXPECT_EQ(request.Connection, 7u);
            EXPECT_EQ(request.Request, 1001u);
            urls.push_back(request.Url);
        }
        return urls;
    }
};

TEST_F(Announcement, RealStartAnnouncesBeforeTheEvent)
{
    File({{"KestrelKey", "K1"}, {"StreamUser", "Ann"}, {"StreamSite", "Hitbox"}});
    Send(RealStart);
    EXPECT_EQ(SentUrls(), (Lines{Url("Ann", "K1", "Hitbox")}));
    Lines calls = host.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "OpenSettingsFile Scripts/TwitchStreamInfo.XML");
    EXPECT_EQ(calls[calls.size() - 2].rfind("CloseSettings ", 0), 0u);
    EXPECT_EQ(calls.back(), "ServiceRequest 7 1001");
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStarting "1" "0")"}));
    EXPECT_EQ(client.StreamSite.Get(), "Hitbox");
}

TEST_F(Announcement, FallbacksForUserAndSite)
{
    File({{"KestrelKey", "K"}, {"StreamUser", ""}, {"TwitchUser", "tw"}});
    Send(RealStart);
    File({{"KestrelKey", "K"}, {"StreamUser", "su"}, {"TwitchUser", "tw"}, {"StreamSite", ""}});
    Send(RealStart);
    EXPECT_EQ(SentUrls(), (Lines{Url("tw", "K", "Twitch"), Url("su", "K", "Twitch")}));
}

TEST_F(Announcement, NothingSentWithoutKeyOrUserOrForAPreview)
{
    File({{"KestrelKey", ""}, {"StreamUser", "Ann"}});
    Send(RealStart);
    File({{"KestrelKey", "K"}});
    Send(RealStart);
    EXPECT_TRUE(SentUrls().empty());
    EXPECT_TRUE(client.StreamKey.Empty() == false && client.StreamUser.Empty());

    File({{"KestrelKey", "K"}, {"StreamUser", "Ann"}});
    host.Clear();
    Send(R"({"update-type":"StreamStarting","preview-only":true})");
    EXPECT_TRUE(host.Calls().empty()); // no file read
    EXPECT_TRUE(SentUrls().empty());
    EXPECT_EQ(Events(), (Lines{R"(OBSRemote:StreamStarting "1" "1")"}));
}

TEST_F(Announcement, MissingFileKeepsTheLastValues)
{
    File({{"KestrelKey", "K"}, {"StreamUser", "Ann"}});
    Send(RealStart);
    host.SettingsFiles.clear();
    Send(RealStart);
    EXPECT_EQ(SentUrls(), (Lines{Url("Ann", "K", "Twitch"), Url("Ann", "K", "Twitch")}));
    EXPECT_EQ(host.Calls()[host.Calls().size() - 2], "CloseSettings 0");
}

TEST_F(Announcement, ValuesAreEncodedSoTheyCannotForgeTheQuery)
{
    File({{"KestrelKey", "k&site=evil"}, {"StreamUser", "Ann Lee & Co/~x.y_z-1"}, {"StreamSite", "\xC3\xA9#?="}});
    Send(RealStart);
    EXPECT_EQ(SentUrls(), (Lines{Url("Ann%20Lee%20%26%20Co%2F~x.y_z-1", "k%26site%3Devil", "%C3%A9%23%3F%3D")}));
    EXPECT_EQ(PercentEncode(std::string("\x01\x7F\xFF", 3)), "%01%7F%FF");
}

TEST_F(Announcement, UrlPastItsLimitIsNotSent)
{
    // Settings hold at most 255 characters, so the URL reaches its limit only through
    // encoding: each '&' takes three characters. Build a user that makes exactly 511.
    size_t room = 511 - Url("", "K", "Twitch").size();
    size_t length = (room - 253) % 2 == 0 ? 253 : 254;
    size_t ampersands = (room - length) / 2;
    std::string user = std::string(ampersands, '&') + std::string(length - ampersands, 'u');
    File({{"KestrelKey", "K"}, {"StreamUser", user}});
    Send(RealStart);
    ASSERT_EQ(SentUrls().size(), 1u);
    EXPECT_EQ(SentUrls()[0].size(), 511u);

    host.Clear();
    File({{"KestrelKey", "K"}, {"StreamUser", user + "u"}});
    Send(RealStart);
    File({{"KestrelKey", std::string(255, ' ')}, {"StreamUser", std::string(255, '&')},
          {"StreamSite", std::string(255, '#')}});
    Send(RealStart);
    EXPECT_TRUE(SentUrls().empty());
    EXPECT_EQ(host.Lines(), (Lines{"HVEOBSRemote: AnnounceStream: URL too long",
                                   "HVEOBSRemote: AnnounceStream: URL too long"}));
    EXPECT_EQ(host.CountEvents("OBSRemote:StreamStarting"), 2u);
}

} // namespace
