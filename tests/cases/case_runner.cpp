// Runs one data case: feeds the messages of <case>/input.jsonl (one per line, as the session
// would hand them over) to a fresh client and compares what came out with the expectations:
//   events.txt    the raised events, one per line (always compared)
//   model.txt     the scene model afterwards (when present)
//   status.txt    the client's status fields afterwards (when present)
//   requests.txt  the URLs handed to the HTTP service (when present; otherwise none allowed)
//   lines.txt     the console lines (when present; otherwise none allowed)
// stream_info.txt, when present, holds key=value lines: the stream-info file's settings.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "client/stream_announcement.h"
#include "tests/support/client_test_support.h"

namespace {

using Lines = std::vector<std::string>;

bool ReadLines(const std::string& path, Lines& lines)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return true;
}

bool Compare(const std::string& what, const Lines& expected, const Lines& actual)
{
    if (expected == actual) {
        return true;
    }
    std::cerr << what << " differ\n--- expected\n";
    for (const std::string& line : expected) {
        std::cerr << "  " << line << "\n";
    }
    std::cerr << "--- actual\n";
    for (const std::string& line : actual) {
        std::cerr << "  " << line << "\n";
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " <case folder>\n";
        return 2;
    }
    const std::string folder = argv[1];
    Lines input;
    Lines expectedEvents;
    if (!ReadLines(folder + "/input.jsonl", input) || !ReadLines(folder + "/events.txt", expectedEvents)) {
        std::cerr << folder << ": input.jsonl and events.txt are required\n";
        return 2;
    }

    MessageHarness h;
    static int identity = 0;
    h.client.Link.Identity.store(&identity);
    h.client.Link.HttpConnection.store(3);
    Lines streamInfo;
    if (ReadLines(folder + "/stream_info.txt", streamInfo)) {
        std::map<std::string, std::string>& settings = h.host.SettingsFiles[StreamInfoFile];
        for (const std::string& line : streamInfo) {
            size_t equals = line.find('=');
            if (equals != std::string::npos) {
                settings[line.substr(0, equals)] = line.substr(equals + 1);
            }
        }
    }

    for (const std::string& line : input) {
        if (!line.empty()) {
            h.Send(line); // a line that does not parse is dropped, as the session drops it
        }
    }

    bool ok = Compare("events", expectedEvents, h.Events());
    Lines expected;
    if (ReadLines(folder + "/model.txt", expected)) {
        ok = Compare("model", expected, h.Model()) && ok;
    }
    expected.clear();
    if (ReadLines(folder + "/status.txt", expected)) {
        ok = Compare("status", expected, DumpStatus(h.client)) && ok;
    }
    expected.clear();
    ReadLines(folder + "/requests.txt", expected);
    Lines urls;
    for (const RecordedServiceRequest& request : h.host.Requests()) {
        urls.push_back(std::to_string(request.Connection) + " " + std::to_string(request.Request) + " " + request.Url);
    }
    ok = Compare("service requests", expected, urls) && ok;
    expected.clear();
    ReadLines(folder + "/lines.txt", expected);
    ok = Compare("console lines", expected, h.host.Lines()) && ok;

    std::cout << folder << (ok ? ": passed\n" : ": FAILED\n");
    return ok ? 0 : 1;
}
