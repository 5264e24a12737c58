#include "tools/simulator/sim_command.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "tools/simulator/obs_simulator.h"

namespace {

// Splits on blanks; a double-quoted part keeps its blanks ("Be Right Back").
std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size())
            break;
        std::string token;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                end = line.size();
            token = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                token += line[i++];
        }
        tokens.push_back(token);
    }
    return tokens;
}

std::string Join(const std::vector<std::string>& tokens, size_t first, size_t end)
{
    std::string joined;
    for (size_t i = first; i < end && i < tokens.size(); ++i) {
        if (!joined.empty())
            joined += ' ';
        joined += tokens[i];
    }
    return joined;
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

bool ReadChannel(const std::string& word, SimChannel& channel)
{
    if (word == "mic" || word == "microphone")
        channel = SimChannel::Microphone;
    else if (word == "desktop")
        channel = SimChannel::Desktop;
    else
        return false;
    return true;
}

std::string Outcome(bool changed, const char* unchanged)
{
    return changed ? "ok" : std::string("error: ") + unchanged;
}

std::string Describe(const OBSSimulator& simulator)
{
    SimSceneSet scenes = simulator.Scenes();
    SimStatus status = simulator.Status();
    std::ostringstream out;
    out << "current scene: " << scenes.CurrentScene << "\n";
    for (const SimScene& scene : scenes.Scenes) {
        out << (scene.Name == scenes.CurrentScene ? "* " : "  ") << scene.Name << ":";
        for (const SimSource& source : scene.Sources)
            out << " [" << source.Name << (source.Render ? "" : " (hidden)") << "]";
        out << "\n";
    }
    out << "streaming: " << (status.Streaming ? "yes" : "no") << (status.Preview ? " (preview)" : "") << "\n";
    out << "microphone: " << status.MicVolume << (status.MicMuted ? " (muted)" : "") << "\n";
    out << "desktop: " << status.DesktopVolume << (status.DesktopMuted ? " (muted)" : "") << "\n";
    out << "connections: " << simulator.ConnectionCount() << ", failed authentications: "
        << simulator.FailedAuthAttempts();
    return out.str();
}

} // namespace

const char* SimulatorCommandHelp()
{
    return "Commands (one per line; quote names with blanks, e.g. \"Be Right Back\"):\n"
           "  switch <scene>                 switch OBS to a scene\n"
           "  render <source> on|off         show or hide a source of the current scene\n"
           "  rename <old> <new>             rename a source of the current scene\n"
           "  reorder a,b,c                  move the named sources to the bottom, in turn\n"
           "  add-source <name>              add a source to the current scene\n"
           "  remove-source <name>           remove a source from the current scene\n"
           "  add-scene <name>               add an empty scene (ScenesChanged)\n"
           "  scenes-changed                 send ScenesChanged\n"
           "  volume mic|desktop <0..1>      move a volume slider\n"
           "  mute mic|desktop               toggle a channel's mute\n"
           "  stream start|stop              start or stop streaming\n"
           "  preview start|stop             start or stop a preview\n"
           "  status-now                     send StreamStatus at once\n"
           "  close-all                      close every connection\n"
           "  fail-handshake [n]             refuse the next n connections\n"
           "  auth on <password> | auth off  change the password (new salt) or turn it off\n"
           "  unlock                         reset the failed-authentication counter\n"
           "  state                          show OBS's state\n"
           "  help, quit\n";
}

SimCommandResult RunSimulatorCommand(OBSSimulator& simulator, const std::string& line)
{
    SimCommandResult result;
    std::vector<std::string> words = Tokens(line);
    if (words.empty())
        return result;
    const std::string& command = words[0];
    const size_t count = words.size();
    SimChannel channel = SimChannel::Microphone;

    if (command == "quit" || command == "exit") {
        result.Quit = true;
        result.Reply = "bye";
    } else if (command == "help") {
        result.Reply = SimulatorCommandHelp();
    } else if (command == "state") {
        result.Reply = Describe(simulator);
    } else if (command == "switch" && count >= 2) {
        result.Reply = Outcome(simulator.SwitchScene(Join(words, 1, count)), "no such scene, or already current");
    } else if (command == "render" && count >= 3 && (words[count - 1] == "on" || words[count - 1] == "off")) {
        result.Reply = Outcome(simulator.SetSourceRender(Join(words, 1, count - 1), words[count - 1] == "on"),
            "no such source in the current scene, or no change");
    } else if (command == "rename" && count == 3) {
        result.Reply = Outcome(simulator.RenameSource(words[1], words[2]), "no such source in the current scene");
    } else if (command == "reorder" && count >= 2) {
        std::vector<std::string> names;
        std::string list = line.substr(line.find("reorder") + 7);
        std::istringstream parts(list);
        std::string part;
        while (std::getline(parts, part, ','))
            names.push_back(Trim(part));
        result.Reply = Outcome(simulator.ReorderSources(names), "the current scene has no sources");
    } else if (command == "add-source" && count >= 2) {
        SimSource source;
        source.Name = Join(words, 1, count);
        result.Reply = Outcome(simulator.AddSource(source), "there is no current scene");
    } else if (command == "remove-source" && count >= 2) {
        result.Reply = Outcome(simulator.RemoveSource(Join(words, 1, count)), "no such source in the current scene");
    } else if (command == "add-scene" && count >= 2) {
        result.Reply = Outcome(simulator.AddScene(Join(words, 1, count)), "a scene of that name exists");
    } else if (command == "scenes-changed" && count == 1) {
        simulator.AnnounceScenesChanged();
        result.Reply = "ok";
    } else if (command == "volume" && count == 3 && ReadChannel(words[1], channel)) {
        char* end = nullptr;
        double level = std::strtod(words[2].c_str(), &end);
        if (end == words[2].c_str() || *end != '\0' || !(level >= 0.0 && level <= 1.0)) {
            result.Reply = "error: the volume must be a number from 0 to 1";
        } else {
            simulator.SetVolume(channel, static_cast<float>(level), true);
            result.Reply = "ok";
        }
    } else if (command == "mute" && count == 2 && ReadChannel(words[1], channel)) {
        simulator.ToggleMute(channel);
        result.Reply = "ok";
    } else if ((command == "stream" || command == "preview") && count == 2
        && (words[1] == "start" || words[1] == "stop")) {
        bool changed = words[1] == "start" ? simulator.StartStream(command == "preview") : simulator.StopStream();
        result.Reply = Outcome(changed, words[1] == "start" ? "OBS already runs" : "OBS is not running");
    } else if (command == "status-now" && count == 1) {
        result.Reply = Outcome(simulator.SendStreamStatus(), "OBS is not running");
    } else if (command == "close-all" && count == 1) {
        simulator.CloseAllConnections();
        result.Reply = "ok";
    } else if (command == "fail-handshake" && count <= 2) {
        int times = count == 2 ? std::atoi(words[1].c_str()) : 1;
        simulator.FailNextHandshakes(times < 0 ? 0 : times);
        result.Reply = "ok";
    } else if (command == "auth" && count == 3 && words[1] == "on") {
        simulator.SetAuth(true, words[2]);
        result.Reply = "ok";
    } else if (command == "auth" && count == 2 && words[1] == "off") {
        simulator.SetAuth(false, std::string());
        result.Reply = "ok";
    } else if (command == "unlock" && count == 1) {
        simulator.ResetFailedAuthAttempts();
        result.Reply = "ok";
    } else {
        result.Reply = "error: unknown command or wrong arguments (try help)";
    }
    return result;
}
