// Console commands of the host stand-in beyond its built-in ones. A command gets the words
// of its line after the command name (quoted words arrive without their quotes) and
// answers true when it worked; on failure it fills `error` with a one-line message.
// Output goes through HostConsoleLine so it interleaves cleanly with events and lines the
// extension prints from its worker thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

using ConsoleCommand = std::function<bool(const std::vector<std::string>& args, std::string& error)>;

void RegisterConsoleCommand(const std::string& name, const std::string& usage, ConsoleCommand command);

// Prints one line on the host console (standard output), safe from any thread.
void HostConsoleLine(const std::string& line);
