// obsremote-sim: OBS with the OBS Remote plug-in, for demos and manual tests. Listens on
// the loopback addresses, takes OBS-side changes as commands on standard input.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "tools/simulator/obs_simulator.h"
#include "tools/simulator/sim_command.h"
#include "tools/simulator/sim_salt_file.h"

namespace {

int WakePipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 's';
    ssize_t ignored = write(WakePipe[1], &byte, 1);
    (void)ignored;
}

void PrintUsage(const char* program)
{
    std::printf("Usage: %s [options]\n"
                "Simulates OBS with the OBS Remote plug-in on 127.0.0.1 and ::1.\n\n"
                "  --port N        port to listen on (default 4444; 0 picks a free one)\n"
                "  --password P    password clients must give (default \"admin\")\n"
                "  --no-auth       no password\n"
                "  --salt-file F   keep the password's salt in F, as OBS keeps it: a restart with\n"
                "                  the same password and file keeps the salt, another password\n"
                "                  gets a new one\n"
                "  --scenes FILE   JSON scene set: {\"current-scene\": \"...\", \"scenes\": [{\"name\": ...,\n"
                "                  \"sources\": [{\"name\", \"x\", \"y\", \"cx\", \"cy\", \"render\"}]}]}\n"
                "  --log FILE      append every received request to FILE, one line each\n"
                "  --status-ms N   StreamStatus interval while streaming (default 1000)\n"
                "  --verbose       show libwebsockets' own log\n"
                "  --help          this text\n\n"
                "Prints \"listening on 127.0.0.1:<port>\" once it accepts connections. Runs until\n"
                "\"quit\", SIGINT or SIGTERM; at the end of its input it keeps serving.\n\n%s",
        program, SimulatorCommandHelp());
}

bool ReadInt(const char* text, int low, int high, int& out)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

// One line of the request log: connection number, then the text with line breaks escaped.
std::string LogLine(const SimReceived& received)
{
    std::string line = std::to_string(received.Connection) + " ";
    for (char c : received.Text) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else if (c == '\0')
            line += "\\0";
        else
            line += c;
    }
    return line + "\n";
}

} // namespace

int main(int argc, char** argv)
{
    OBSSimulatorOptions options;
    int port = 4444;
    std::string logPath;
    std::string saltPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        int number = 0;
        if (arg == "--help" || arg == "-h") {
            PrintUsage(argv[0]);
            return 0;
        } else if (arg == "--port" && hasValue && ReadInt(argv[i + 1], 0, 65535, number)) {
            port = number;
            ++i;
        } else if (arg == "--password" && hasValue) {
            options.Password = argv[++i];
            options.UseAuth = true;
        } else if (arg == "--no-auth") {
            options.UseAuth = false;
        } else if (arg == "--scenes" && hasValue) {
            std::string error;
            if (!LoadSceneSetFile(argv[++i], options.Scenes, error)) {
                std::fprintf(stderr, "obsremote-sim: %s\n", error.c_str());
                return 2;
            }
        } else if (arg == "--salt-file" && hasValue) {
            saltPath = argv[++i];
        } else if (arg == "--log" && hasValue) {
            logPath = argv[++i];
        } else if (arg == "--status-ms" && hasValue && ReadInt(argv[i + 1], 10, 600000, number)) {
            options.StatusInterval = std::chrono::milliseconds(number);
            ++i;
        } else if (arg == "--verbose") {
            options.Verbose = true;
        } else {
            std::fprintf(stderr, "obsremote-sim: bad option or value: %s (try --help)\n", arg.c_str());
            return 2;
        }
    }

    if (!saltPath.empty() && options.UseAuth) {
        std::string error;
        if (!LoadOrStoreSalt(saltPath, options.Password, options.Salt, error)) {
            std::fprintf(stderr, "obsremote-sim: %s\n", error.c_str());
            return 2;
        }
    }

    std::ofstream log;
    std::mutex logLock;
    if (!logPath.empty()) {
        log.open(logPath, std::ios::app);
        if (!log) {
            std::fprintf(stderr, "obsremote-sim: cannot open %s\n", logPath.c_str());
            return 2;
        }
        options.OnReceived = [&log, &logLock](const SimReceived& received) {
            std::lock_guard<std::mutex> guard(logLock);
            log << LogLine(received) << std::flush;
        };
    }

    if (pipe(WakePipe) != 0) {
        std::perror("obsremote-sim: pipe");
        return 1;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    OBSSimulator simulator(options);
    if (!simulator.Start(port)) {
        std::fprintf(stderr, "obsremote-sim: cannot listen on port %d (taken?)\n", port);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", simulator.Port());
    std::fflush(stdout);

    std::string pending;
    bool inputOpen = true;
    bool quit = false;
    while (!quit) {
        pollfd fds[2] = {{WakePipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int ready = poll(fds, inputOpen ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents != 0)
            break;
        if (!inputOpen || fds[1].revents == 0)
            continue;
        char chunk[4096];
        ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            inputOpen = false;
            continue;
        }
        pending.append(chunk, static_cast<size_t>(got));
        size_t end;
        while (!quit && (end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            SimCommandResult result = RunSimulatorCommand(simulator, line);
            if (!result.Reply.empty())
                std::printf("%s\n", result.Reply.c_str());
            std::fflush(stdout);
            quit = result.Quit;
        }
    }
    simulator.Stop();
    return 0;
}
