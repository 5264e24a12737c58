#include "element_type_registry.h"

#include <string>
#include <utility>
#include <vector>

#include "ascii_case.h"

namespace hvui {
namespace {

using Registry = std::vector<std::pair<std::string, KGUIElementFactory*>>;

// Never destroyed: factories of modules and the manager's elements may still reach the
// table while the library's static objects are being torn down.
Registry& Table()
{
    static Registry* table = new Registry;
    return *table;
}

} // namespace

KGUIElementFactory* FindElementFactory(const char* typeName)
{
    for (const auto& [name, factory] : Table()) {
        if (EqualsIgnoringAsciiCase(name.c_str(), typeName))
            return factory;
    }
    return nullptr;
}

bool AddElementFactory(const char* typeName, KGUIElementFactory* factory)
{
    if (FindElementFactory(typeName))
        return false;
    Table().emplace_back(typeName, factory);
    return true;
}

void RemoveElementFactory(const KGUIElementFactory* factory)
{
    Registry& table = Table();
    for (auto it = table.begin(); it != table.end();) {
        if (it->second == factory)
            it = table.erase(it);
        else
            ++it;
    }
}

} // namespace hvui
