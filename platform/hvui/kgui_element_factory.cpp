#include "hvui/kgui_element_factory.h"

#include "element_type_registry.h"

bool KGUIElementFactory::Register(const char* typeName, uint32_t version)
{
    if (!typeName || !*typeName || version != KGUIInterfaceVersion || !ElementType.empty())
        return false;
    if (!hvui::AddElementFactory(typeName, this))
        return false;
    ElementType = typeName;
    return true;
}

void KGUIElementFactory::Unregister()
{
    hvui::RemoveElementFactory(this);
    ElementType.clear();
}
