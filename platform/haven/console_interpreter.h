// Runs console lines: the built-in commands (print, wait, sleep, expect, service, ...),
// commands registered with RegisterConsoleCommand, and expressions over top-level objects.
// Every failure is one "error: ..." line; the console goes on.
#pragma once

#include <string>
#include <vector>

#include "platform/haven/console_syntax.h"
#include "haven/host_interface.h"

namespace haven {

class HavenHost;

class ConsoleInterpreter {
public:
    explicit ConsoleInterpreter(HavenHost& host) : Host(host) {}
    ~ConsoleInterpreter() { LeaveService(); }
    ConsoleInterpreter(const ConsoleInterpreter&) = delete;
    ConsoleInterpreter& operator=(const ConsoleInterpreter&) = delete;

    // Answers whether the line worked; `quit` is set by quit and exit.
    bool Run(const std::string& line, bool& quit);
    // Disconnects the console's service connection, if it has one.
    void LeaveService();

private:
    bool Fail(const std::string& message);
    bool Help();
    bool Print(const std::string& line, size_t rest);
    bool Wait(const std::vector<ConsoleWord>& words);
    bool Sleep(const std::vector<ConsoleWord>& words);
    bool Expect(const std::string& line, size_t rest, bool noValue);
    bool ShowValue(const std::string& line, size_t begin);
    bool Events(const std::vector<ConsoleWord>& words);
    bool Service(const std::vector<ConsoleWord>& words);
    bool Notify(const std::vector<ConsoleWord>& words);
    bool Pulse(const std::vector<ConsoleWord>& words);
    bool Command(const std::vector<ConsoleWord>& words);
    bool Registered(const std::string& name, const std::vector<ConsoleWord>& words);

    HavenHost& Host;
    ServiceConnection Connection = 0;
    std::string ConnectedService;
};

} // namespace haven
