#include "client/stream_announcement.h"

#include <cstdio>
#include <cstring>

#include "client/obs_remote_client.h"

const char* const AnnouncementServiceHost = "webservices.kestrel.example";
const char* const StreamInfoFile = "Scripts/TwitchStreamInfo.XML";

namespace {

constexpr size_t SettingBufferSize = 256;
constexpr size_t UrlBufferSize = 512;
const char* const DefaultSite = "Twitch";

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

std::string PercentEncode(const std::string& text)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if (IsUnreserved(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += Hex[c >> 4];
            encoded += Hex[c & 0x0F];
        }
    }
    return encoded;
}

// "StreamUser" wins over the older "TwitchUser"; a file without a site means Twitch.
void ReadStreamInfo(OBSRemoteClient& client)
{
    HostInterface* host = client.Host();
    if (host == nullptr) {
        return;
    }
    SettingsSetId set = host->OpenSettingsFile(StreamInfoFile);
    if (set != 0) {
        char key[SettingBufferSize] = {};
        char user[SettingBufferSize] = {};
        char site[SettingBufferSize] = {};
        host->GetSettingText(set, "KestrelKey", key, sizeof(key));
        host->GetSettingText(set, "StreamUser", user, sizeof(user));
        if (user[0] == '\0') {
            host->GetSettingText(set, "TwitchUser", user, sizeof(user));
        }
        host->GetSettingText(set, "StreamSite", site, sizeof(site));
        // The host promises termination; a host that broke it must not make us read past.
        key[sizeof(key) - 1] = user[sizeof(user) - 1] = site[sizeof(site) - 1] = '\0';
        if (site[0] == '\0') {
            std::snprintf(site, sizeof(site), "%s", DefaultSite);
        }
        client.StreamUser.Set(user);
        client.StreamKey.Set(key);
        client.StreamSite.Set(site);
    }
    host->CloseSettings(set);
}

// The values are encoded, so a name with "&" or " " cannot cut or forge the query.
void AnnounceStream(OBSRemoteClient& client)
{
    HostInterface* host = client.Host();
    if (host == nullptr) {
        return;
    }
    if (client.StreamSite.Empty()) {
        client.StreamSite.Set(DefaultSite);
    }
    std::string user = PercentEncode(client.StreamUser.Get());
    std::string key = PercentEncode(client.StreamKey.Get());
    std::string site = PercentEncode(client.StreamSite.Get());

    char url[UrlBufferSize];
    int length = std::snprintf(url, sizeof(url),
                               "http://%s/tandemplay/hvetwitch?displayName=%s&kestrelKey=%s&site=%s&client=hveobsremote",
                               AnnouncementServiceHost, user.c_str(), key.c_str(), site.c_str());
    if (length < 0 || static_cast<size_t>(length) >= sizeof(url)) {
        client.Print("HVEOBSRemote: AnnounceStream: URL too long");
        return;
    }
    HttpUrlRequest request{url, nullptr};
    host->ServiceRequest(client.Link.Identity.load(), client.Link.HttpConnection.load(), HttpRequestUrl, &request);
}
