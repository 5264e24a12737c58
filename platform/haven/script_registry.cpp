#include "platform/haven/script_registry.h"

#include <cstring>

#include "haven/ks_type_definition.h"

namespace haven {

std::string ScriptRegistry::NameOf(const KSTypeDefinition* type)
{
    // TypeName is a fixed field; never read past it even if it lacks its terminator.
    const char* name = type->TypeName;
    return std::string(name, strnlen(name, sizeof type->TypeName));
}

void ScriptRegistry::SetBuiltinTypes(std::vector<KSTypeDefinition*> builtins)
{
    std::lock_guard<std::mutex> guard(Mutex);
    Builtins.clear();
    for (KSTypeDefinition* type : builtins) {
        if (type != nullptr) {
            Builtins[NameOf(type)] = type;
        }
    }
}

bool ScriptRegistry::AddCommand(const char* name, CommandHandler handler, bool option1, bool option2)
{
    if (name == nullptr || name[0] == '\0' || handler == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    return Commands.emplace(name, Command{handler, option1, option2}).second;
}

void ScriptRegistry::RemoveCommand(const char* name)
{
    if (name == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    Commands.erase(name);
}

std::optional<ScriptRegistry::Command> ScriptRegistry::FindCommand(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = Commands.find(name);
    if (found == Commands.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool ScriptRegistry::AddTopLevelObject(const char* name, TopLevelObjectFunction function)
{
    if (name == nullptr || name[0] == '\0' || function == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    return TopLevel.emplace(name, function).second;
}

void ScriptRegistry::RemoveTopLevelObject(const char* name)
{
    if (name == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    TopLevel.erase(name);
}

TopLevelObjectFunction ScriptRegistry::FindTopLevelObject(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(Mutex);
    const auto found = TopLevel.find(name);
    return found == TopLevel.end() ? nullptr : found->second;
}

bool ScriptRegistry::RegisterType(KSTypeDefinition* type)
{
    if (type == nullptr) {
        return false;
    }
    const std::string name = NameOf(type);
    if (name.empty()) {
        return false;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    if (Builtins.count(name) != 0) {
        return false;
    }
    return Types.emplace(name, type).second;
}

void ScriptRegistry::UnregisterType(KSTypeDefinition* type)
{
    std::lock_guard<std::mutex> guard(Mutex);
    for (auto it = Types.begin(); it != Types.end(); ++it) {
        if (it->second == type) {
            Types.erase(it);
            return;
        }
    }
}

KSTypeDefinition* ScriptRegistry::FindType(const char* name) const
{
    if (name == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    const auto registered = Types.find(name);
    if (registered != Types.end()) {
        return registered->second;
    }
    const auto builtin = Builtins.find(name);
    return builtin == Builtins.end() ? nullptr : builtin->second;
}

bool ScriptRegistry::IsKnownType(const KSTypeDefinition* type) const
{
    if (type == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(Mutex);
    for (const auto& entry : Types) {
        if (entry.second == type) {
            return true;
        }
    }
    for (const auto& entry : Builtins) {
        if (entry.second == type) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ScriptRegistry::TopLevelNames() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> names;
    for (const auto& entry : TopLevel) {
        names.push_back(entry.first);
    }
    return names;
}

std::vector<std::string> ScriptRegistry::CommandNames() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> names;
    for (const auto& entry : Commands) {
        names.push_back(entry.first);
    }
    return names;
}

std::vector<std::string> ScriptRegistry::TypeNames() const
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> names;
    for (const auto& entry : Types) {
        names.push_back(entry.first);
    }
    return names;
}

std::vector<std::string> ScriptRegistry::DropAll()
{
    std::lock_guard<std::mutex> guard(Mutex);
    std::vector<std::string> dropped;
    for (const auto& entry : Commands) {
        dropped.push_back("command \"" + entry.first + "\"");
    }
    for (const auto& entry : TopLevel) {
        dropped.push_back("top-level object \"" + entry.first + "\"");
    }
    for (const auto& entry : Types) {
        dropped.push_back("type \"" + entry.first + "\"");
    }
    Commands.clear();
    TopLevel.clear();
    Types.clear();
    return dropped;
}

} // namespace haven
