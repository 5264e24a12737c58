// The host side of the console command registry: look-up for the interpreter, and the
// console that HostConsoleLine writes to.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/haven/console_command_registry.h"

namespace haven {

class ConsoleOutput;

struct RegisteredConsoleCommand {
    std::string Usage;
    ConsoleCommand Command;
};

std::optional<RegisteredConsoleCommand> FindConsoleCommand(const std::string& name);
// (name, usage) of every registered command, in name order.
std::vector<std::pair<std::string, std::string>> ListConsoleCommands();

// HostConsoleLine writes through this console while it is set, else straight to standard
// output. The host sets it for its lifetime.
void SetActiveConsole(ConsoleOutput* console);
void ClearActiveConsole(ConsoleOutput* console);

} // namespace haven
