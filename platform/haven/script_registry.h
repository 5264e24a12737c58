// What extensions add to the host's scripting: commands, top-level objects and data types,
// each by name. The built-in types are the host's own and always present.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "haven/host_interface.h"

namespace haven {

class ScriptRegistry {
public:
    struct Command {
        CommandHandler Handler = nullptr;
        bool Option1 = false;
        bool Option2 = false;
    };

    // The built-in types stay owned by the caller and must outlive the registry.
    void SetBuiltinTypes(std::vector<KSTypeDefinition*> builtins);

    bool AddCommand(const char* name, CommandHandler handler, bool option1, bool option2);
    void RemoveCommand(const char* name);
    std::optional<Command> FindCommand(const std::string& name) const;

    bool AddTopLevelObject(const char* name, TopLevelObjectFunction function);
    void RemoveTopLevelObject(const char* name);
    TopLevelObjectFunction FindTopLevelObject(const std::string& name) const;

    // Refused when the type is missing, unnamed, or its name is already taken.
    bool RegisterType(KSTypeDefinition* type);
    void UnregisterType(KSTypeDefinition* type);
    KSTypeDefinition* FindType(const char* name) const;
    // Whether a value's type pointer is one the host knows, so it is safe to call into.
    bool IsKnownType(const KSTypeDefinition* type) const;

    std::vector<std::string> TopLevelNames() const;
    std::vector<std::string> CommandNames() const;
    std::vector<std::string> TypeNames() const; // registered by extensions
    // Forgets every command, top-level object and registered type; answers what it dropped.
    std::vector<std::string> DropAll();

private:
    static std::string NameOf(const KSTypeDefinition* type);

    mutable std::mutex Mutex;
    std::map<std::string, Command> Commands;
    std::map<std::string, TopLevelObjectFunction> TopLevel;
    std::map<std::string, KSTypeDefinition*> Types;
    std::map<std::string, KSTypeDefinition*> Builtins;
};

} // namespace haven
