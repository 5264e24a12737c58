// Announcing a real stream to Kestrel's web service. The display name, account key and
// site come from the stream-info file in the host's Scripts folder; the request goes out
// through the host's HTTP service and its answer is never awaited.
#pragma once

#include <cstddef>
#include <string>

class OBSRemoteClient;

// The web service that takes the announcements.
extern const char* const AnnouncementServiceHost;
// The stream-info file, resolved by the host's settings facility.
extern const char* const StreamInfoFile;

// Refreshes StreamKey, StreamUser and StreamSite from the stream-info file; when the file
// cannot be loaded they keep their values.
void ReadStreamInfo(OBSRemoteClient& client);

// Hands the announcement URL to the host's HTTP service, or prints
// "HVEOBSRemote: AnnounceStream: URL too long" and sends nothing when it would not fit.
void AnnounceStream(OBSRemoteClient& client);

// RFC 3986 percent-encoding: A-Z a-z 0-9 - . _ ~ stay, every other byte becomes %XX.
std::string PercentEncode(const std::string& text);
