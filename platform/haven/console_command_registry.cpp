#include "platform/haven/console_command_registry.h"

#include <map>
#include <mutex>

#include "platform/haven/console_command_table.h"
#include "platform/haven/console_output.h"

namespace {

struct Registry {
    std::mutex Mutex;
    std::map<std::string, haven::RegisteredConsoleCommand> Commands;
    haven::ConsoleOutput* Active = nullptr;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

void RegisterConsoleCommand(const std::string& name, const std::string& usage, ConsoleCommand command)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    registry.Commands[name] = haven::RegisteredConsoleCommand{usage, std::move(command)};
}

void HostConsoleLine(const std::string& line)
{
    Registry& registry = TheRegistry();
    std::unique_lock<std::mutex> guard(registry.Mutex);
    if (registry.Active != nullptr) {
        // The console is kept alive by its host until ClearActiveConsole, which takes this lock.
        registry.Active->Line(line);
        return;
    }
    guard.unlock();
    haven::WriteStdoutLine(line);
}

namespace haven {

std::optional<RegisteredConsoleCommand> FindConsoleCommand(const std::string& name)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    const auto found = registry.Commands.find(name);
    if (found == registry.Commands.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<std::pair<std::string, std::string>> ListConsoleCommands()
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& [name, command] : registry.Commands) {
        list.emplace_back(name, command.Usage);
    }
    return list;
}

void SetActiveConsole(ConsoleOutput* console)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    registry.Active = console;
}

void ClearActiveConsole(ConsoleOutput* console)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    if (registry.Active == console) {
        registry.Active = nullptr;
    }
}

} // namespace haven
