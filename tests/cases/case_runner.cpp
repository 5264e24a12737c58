// Runs one data case: feeds the messages of <case>/input.jsonl (one per line, as the session
// would hand them over) to a fresh client and compares what came out with the expectations:
//   events.txt    the raised events, one per line (always compared)
//   model.txt     the scene model afterwards (when present)
//   status.txt    the client's status fields afterwards (when present)
//   requests.txt  the URLs handed to the HTTP service (when present; otherwise none allowed)
//   lines.txt     the console lines (when present; otherwise none allowed)
//   sent.txt      the messages queued for the peer, one per line (when present)
// stream_info.txt, when present, holds key=value lines: the stream-info file's settings.
// protocol.txt, when present, names the wire protocol ("obs-websocket"); the client then is
// Connected with that protocol's connection opened before the first line. An input line that
// begins with "!" calls the client instead: "!Authenticate <password>", "!Close <code>
// <reason>", "!Tick", or an operation with its arguments separated by blanks.
#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "client/stream_announcement.h"
#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// False when the file is missing. Windows line ends and trailing blank lines are ignored.
bool ReadLines(const std::string& path, Lines& lines)
{
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (file && std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return static_cast<bool>(file) || file.eof();
}

bool Compare(const std::string& what, const Lines& expected, const Lines& actual)
{
    if (expected == actual) {
        return true;
    }
    std::cerr << what << " differ\n";
    for (const Lines* list : {&expected, &actual}) {
        std::cerr << (list == &expected ? "--- expected\n" : "--- actual\n");
        for (const std::string& line : *list) {
            std::cerr << "  " << line << "\n";
        }
    }
    return false;
}

// Calls the client as the obsremote type and the session would.
void Call(MessageHarness& h, const std::string& line)
{
    std::vector<std::string> words;
    size_t start = 1;
    while (start <= line.size()) {
        size_t end = line.find(' ', start);
        end = end == std::string::npos ? line.size() : end;
        words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    const std::string& op = words[0];
    auto arg = [&words](size_t i) { return i < words.size() ? words[i] : std::string(); };
    OBSRemoteClient& c = h.client;
    const std::map<std::string, std::function<void()>> calls = {
        {"Authenticate", [&] { c.Authenticate(arg(1).c_str()); }},
        {"Close", [&] {
             std::string reason = line.substr(std::min(line.size(), 7 + arg(1).size() + 1));
             c.Wire().PeerClosing(c, static_cast<uint16_t>(std::stoi(arg(1))), reason.c_str(), reason.size());
         }},
        {"Tick", [&] { c.Wire().Tick(c); }},
        {"SetSourceRender", [&] { c.SetSourceRender(arg(1).c_str(), arg(2) == "1"); }},
        {"SetSourceOrder", [&] { c.SetSourceOrderNames(std::vector<std::string>(words.begin() + 1, words.end())); }},
        {"SetVolume", [&] { c.SetVolume(arg(1).c_str(), std::stof(arg(2)), false); }},
        {"SetCurrentScene", [&] { c.SetCurrentScene(arg(1).c_str()); }},
        {"StartPreview", [&] { c.StartPreview(); }},
        {"StartStreaming", [&] { c.StartStreaming(); }},
        {"ToggleMicMute", [&] { c.ToggleMicMute(); }},
        {"GetVersion", [&] { c.GetVersion(); }},
        {"GetVolumes", [&] { c.GetVolumes(); }},
    };
    const auto call = calls.find(op);
    if (call == calls.end()) {
        std::cerr << "unknown call " << op << "\n";
    } else {
        call->second();
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc == 2 ? std::string(argv[1]) + "/" : std::string();
    Lines input, streamInfo;
    if (argc != 2 || !ReadLines(folder + "input.jsonl", input) || !std::ifstream(folder + "events.txt")) {
        std::cerr << "usage: " << argv[0] << " <case folder holding input.jsonl and events.txt>\n";
        return 2;
    }
    MessageHarness h;
    static int identity = 0;
    h.client.Link.Identity.store(&identity);
    h.client.Link.HttpConnection.store(3);
    ReadLines(folder + "stream_info.txt", streamInfo);
    for (const std::string& line : streamInfo) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) {
            h.host.SettingsFiles[StreamInfoFile][line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    Lines protocol;
    if (ReadLines(folder + "protocol.txt", protocol) && !protocol.empty() && protocol[0] == "obs-websocket") {
        h.client.Protocol.store(WireKind::ObsWebSocket);
        h.client.ChooseWire();
        h.client.State.store(Connected);
        h.client.Wire().Opened(h.client);
    }
    for (const std::string& line : input) {
        if (line.rfind("!", 0) == 0) {
            Call(h, line);
        } else if (!line.empty()) {
            // A line that does not parse is dropped, as the session drops it.
            JsonValue message = ParseMessage(line);
            if (message) {
                h.client.Wire().Received(h.client, message.get());
            }
        }
    }
    Lines sent;
    {
        CWinLock guard(&h.client.Session.SendLock);
        sent.assign(h.client.Session.SendQueue.begin(), h.client.Session.SendQueue.end());
    }

    Lines urls;
    for (const RecordedServiceRequest& request : h.host.Requests()) {
        urls.push_back(std::to_string(request.Connection) + " " + std::to_string(request.Request) + " " + request.Url);
    }
    // {file, actual, compared even when the file is missing (then nothing may come out)}
    const std::vector<std::tuple<const char*, Lines, bool>> outputs = {
        {"events.txt", h.Events(), true}, {"model.txt", h.Model(), false},
        {"status.txt", DumpStatus(h.client), false}, {"requests.txt", urls, true}, {"lines.txt", h.host.Lines(), true},
        {"sent.txt", sent, false}};
    bool ok = true;
    for (const auto& [file, actual, always] : outputs) {
        Lines expected;
        if (ReadLines(folder + file, expected) || always) {
            ok = Compare(file, expected, actual) && ok;
        }
    }
    std::cout << argv[1] << (ok ? ": passed\n" : ": FAILED\n");
    return ok ? 0 : 1;
}
