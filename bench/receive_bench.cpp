// Messages per second through the receive path after reassembly: parse, dispatch, handler,
// model and event texts, with a host that does nothing. Beside each figure, the rate of
// parsing the same texts alone, the floor no handling can beat.
//
// Mixes: StreamStatus updates (about one a second per stream, but a burst must not stall the
// worker), VolumeChanged updates (a slider drag sends dozens a second), and the answer to
// GetSceneList for 50 scenes of 20 sources each.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <jansson.h>

#include "client/dispatch.h"
#include "client/obs_remote_client.h"
#include "tests/support/null_host.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double MinimumSeconds = 1.0;

std::vector<std::string> StreamStatusMix()
{
    std::vector<std::string> texts;
    for (int i = 0; i < 1000; ++i) {
        char text[512];
        std::snprintf(text, sizeof(text),
                      "{\"num-dropped-frames\": %d, \"num-total-frames\": %d, \"streaming\": true, \"strain\": %.17g, "
                      "\"update-type\": \"StreamStatus\", \"preview-only\": false, \"fps\": 30, \"bytes-per-sec\": %d, "
                      "\"total-stream-time\": %d}",
                      i / 7, i * 30, i / 1000.0 + 0.0001, 250000 + i, i * 1000);
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::string> VolumeChangedMix()
{
    std::vector<std::string> texts;
    for (int i = 0; i < 1000; ++i) {
        char text[512];
        std::snprintf(text, sizeof(text),
                      "{\"finalValue\": %s, \"volume\": %.17g, \"update-type\": \"VolumeChanged\", \"muted\": %s, "
                      "\"channel\": \"%s\"}",
                      i % 20 == 19 ? "true" : "false", (i % 100) / 100.0 + 0.003, (i % 100) < 5 ? "true" : "false",
                      i % 2 == 0 ? "desktop" : "microphone");
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::string> SceneListMix()
{
    std::string text = "{\"status\": \"ok\", \"message-id\": \"5\", \"scenes\": [";
    for (int s = 0; s < 50; ++s) {
        char scene[64];
        std::snprintf(scene, sizeof(scene), "%s{\"name\": \"Scene %d\", \"sources\": [", s == 0 ? "" : ", ", s);
        text += scene;
        for (int i = 0; i < 20; ++i) {
            char source[256];
            std::snprintf(source, sizeof(source),
                          "%s{\"render\": %s, \"cy\": 720.0, \"x\": %d.0, \"name\": \"Source %d of scene %d\", "
                          "\"cx\": 1280.0, \"y\": %d.5}",
                          i == 0 ? "" : ", ", i % 3 == 0 ? "false" : "true", i * 10, i, s, i);
            text += source;
        }
        text += "]}";
    }
    text += "], \"current-scene\": \"Scene 7\"}";
    return {text};
}

// Runs the mix over and over for at least MinimumSeconds; answers messages per second.
template <typename Work>
double Rate(const std::vector<std::string>& texts, Work work)
{
    size_t messages = 0;
    Clock::time_point start = Clock::now();
    double elapsed = 0.0;
    do {
        for (const std::string& text : texts) {
            work(text);
        }
        messages += texts.size();
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < MinimumSeconds);
    return static_cast<double>(messages) / elapsed;
}

void Measure(const char* name, const std::vector<std::string>& texts, OBSRemoteClient& client)
{
    double parseOnly = Rate(texts, [](const std::string& text) {
        json_t* message = json_loads(text.c_str(), JSON_DISABLE_EOF_CHECK, nullptr);
        json_decref(message);
    });
    double whole = Rate(texts, [&](const std::string& text) {
        json_t* message = json_loads(text.c_str(), JSON_DISABLE_EOF_CHECK, nullptr);
        if (message != nullptr) {
            DispatchMessage(client, message);
            json_decref(message);
        }
    });
    size_t bytes = 0;
    for (const std::string& text : texts) {
        bytes += text.size();
    }
    std::printf("%-28s %8zu B/msg  whole path %12.0f msg/s  parse only %12.0f msg/s  ratio %.2f\n", name,
                bytes / texts.size(), whole, parseOnly, whole / parseOnly);
}

} // namespace

int main()
{
    NullHost host;
    OBSRemoteClient client;
    client.Link.Host.store(&host);
    for (uint32_t i = 0; i < ClientEventCount; ++i) {
        client.Link.EventIds[i].store(i + 1);
    }
    Measure("StreamStatus updates", StreamStatusMix(), client);
    Measure("VolumeChanged updates", VolumeChangedMix(), client);
    Measure("scene list 50 x 20", SceneListMix(), client);
    std::printf("(target: whole path at least half the parse-only rate for the update mixes; checksum %zu)\n",
                host.Checksum);
    return 0;
}
