// Helpers for tests that drive the client's message handling with a RecordingHost: event
// registration in the host's order, and plain-text dumps of events, status and model that
// tests and the data-driven cases compare.
#pragma once

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "client/dispatch.h"
#include "client/obs_remote_client.h"
#include "script/script_events.h"
#include "support/portable_lock.h"
#include "tests/support/json_value.h"
#include "tests/support/recording_host.h"

// Points the client at the host and registers the events as start-up does.
inline void AttachRecordingHost(RecordingHost& host, OBSRemoteClient& client)
{
    client.Link.Host.store(&host);
    for (uint32_t i = 0; i < ClientEventCount; ++i) {
        client.Link.EventIds[i].store(host.RegisterEvent(ScriptEventName(static_cast<ClientEvent>(i))));
    }
}

// OBSRemote:VolumeChanged "desktop" "1" "0.5000" "0"
inline std::string FormatEvent(const RecordedEvent& event)
{
    std::string text = event.Name;
    for (const std::string& arg : event.Args) {
        text += " \"";
        for (char c : arg) {
            if (c == '"' || c == '\\') {
                text += '\\';
            }
            text += c;
        }
        text += '"';
    }
    return text;
}

inline std::vector<std::string> FormatEvents(const RecordingHost& host)
{
    std::vector<std::string> lines;
    for (const RecordedEvent& event : host.Events()) {
        lines.push_back(FormatEvent(event));
    }
    return lines;
}

// A printf-style line.
template <typename... Values>
std::string Printed(const char* format, Values... values)
{
    char text[512];
    std::snprintf(text, sizeof(text), format, values...);
    return text;
}

// current "<name>", then per scene: scene "<name>" and one line per source.
inline std::vector<std::string> DumpModel(SceneModel& model)
{
    std::vector<std::string> lines;
    CWinLock scenes(&model.ScenesLock);
    lines.push_back("current \"" + model.CurrentSceneName + "\"");
    for (SceneInfo* scene : model.Scenes) {
        lines.push_back("scene \"" + scene->Name + "\"");
        CWinLock sources(&scene->SourcesLock);
        for (SourceInfo* source : scene->Sources) {
            lines.push_back("  source \"" + source->Name + "\"" +
                            Printed(" render=%d x=%g y=%g cx=%g cy=%g", source->Render ? 1 : 0, source->X, source->Y,
                                    source->Width, source->Height));
        }
    }
    return lines;
}

inline std::vector<std::string> DumpStatus(OBSRemoteClient& c)
{
    return {Printed("auth have=%d authenticated=%d salt=\"%s\" challenge=\"%s\"", c.HaveAuthInfo.load() ? 1 : 0,
                    c.IsAuthenticated.load() ? 1 : 0, c.AuthSalt.Get().c_str(), c.AuthChallenge.Get().c_str()),
            Printed("version have=%d value=%g", c.HaveVersion.load() ? 1 : 0, c.RemoteVersion.load()),
            Printed("volumes have=%d mic=%d/%g desktop=%d/%g", c.HaveVolumes.load() ? 1 : 0,
                    c.IsMicrophoneMuted.load() ? 1 : 0, c.MicrophoneVolume.load(), c.IsDesktopMuted.load() ? 1 : 0,
                    c.DesktopVolume.load()),
            Printed("streaming have=%d streaming=%d preview=%d", c.HaveStreamingStatus.load() ? 1 : 0,
                    c.IsStreaming.load() ? 1 : 0, c.IsPreview.load() ? 1 : 0),
            Printed("stats have=%d bps=%" PRId64 " strain=%g time=%" PRId64 " frames=%" PRId64 " dropped=%" PRId64
                    " fps=%" PRId64,
                    c.HaveStreamStats.load() ? 1 : 0, c.BytesPerSecond.load(), c.Strain.load(),
                    c.TotalStreamTime.load(), c.NumTotalFrames.load(), c.NumDroppedFrames.load(), c.FPS.load())};
}

// The requests queued since the last look, taken out of the send queue.
inline std::vector<std::string> TakeQueued(OBSRemoteClient& client)
{
    CWinLock guard(&client.Session.SendLock);
    std::vector<std::string> queued(client.Session.SendQueue.begin(), client.Session.SendQueue.end());
    client.Session.SendQueue.clear();
    return queued;
}

// A client wired to a recording host, fed with message texts as the session would parse them.
struct MessageHarness {
    RecordingHost host;
    OBSRemoteClient client;

    MessageHarness() { AttachRecordingHost(host, client); }

    // False when the text does not parse (the session drops such a delivery).
    bool Send(const std::string& text)
    {
        JsonValue message = ParseMessage(text);
        if (!message) {
            return false;
        }
        DispatchMessage(client, message.get());
        return true;
    }
    std::vector<std::string> Events() const { return FormatEvents(host); }
    std::vector<std::string> Model() { return DumpModel(client.Model); }
};
