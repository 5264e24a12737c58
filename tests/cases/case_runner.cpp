// Runs one data case: feeds the messages of <case>/input.jsonl (one per line, as the session
// would hand them over) to a fresh client and compares what came out with the expectations:
//   events.txt    the raised events, one per line (always compared)
//   model.txt     the scene model afterwards (when present)
//   status.txt    the client's status fields afterwards (when present)
//   requests.txt  the URLs handed to the HTTP service (when present; otherwise none allowed)
//   lines.txt     the console lines (when present; otherwise none allowed)
// stream_info.txt, when present, holds key=value lines: the stream-info file's settings.
#include <fstream>
#include <iostream>
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
    for (const std::string& line : input) {
        if (!line.empty()) {
            h.Send(line); // a line that does not parse is dropped, as the session drops it
        }
    }

    Lines urls;
    for (const RecordedServiceRequest& request : h.host.Requests()) {
        urls.push_back(std::to_string(request.Connection) + " " + std::to_string(request.Request) + " " + request.Url);
    }
    // {file, actual, compared even when the file is missing (then nothing may come out)}
    const std::vector<std::tuple<const char*, Lines, bool>> outputs = {
        {"events.txt", h.Events(), true}, {"model.txt", h.Model(), false},
        {"status.txt", DumpStatus(h.client), false}, {"requests.txt", urls, true}, {"lines.txt", h.host.Lines(), true}};
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
