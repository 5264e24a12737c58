// Calls into the module's objects made the way the MSVC-built host and GUI library make
// them: this file is compiled by clang for the MSVC C++ ABI and linked into a MinGW test
// program, so every call goes through the slot MSVC picks for the shared declaration.
#include "hvui/kgui_element.h"
#include "haven/ks_type_definition.h"

extern "C" {

bool MsvcHostAddMemberWithId(KSTypeDefinition* type, uint32_t id, const char* name)
{
    return type->AddMember(id, name, nullptr);
}
bool MsvcHostAddMember(KSTypeDefinition* type, const char* name) { return type->AddMember(name, nullptr); }
bool MsvcHostAddMethodWithId(KSTypeDefinition* type, uint32_t id, const char* name)
{
    return type->AddMethod(id, name, nullptr);
}
bool MsvcHostAddMethod(KSTypeDefinition* type, const char* name) { return type->AddMethod(name, nullptr); }
bool MsvcHostRemoveMethod(KSTypeDefinition* type, const char* name) { return type->RemoveMethod(name, nullptr); }
KSTypeDefinition* MsvcHostEffectiveType(KSTypeDefinition* type) { return type->GetEffectiveType(); }
bool MsvcHostFromString(KSTypeDefinition* type, KSValue* value, const char* text)
{
    return type->FromString(*value, text);
}
void MsvcHostDeleteType(KSTypeDefinition* type) { delete type; }
void MsvcHostDestroyType(KSTypeDefinition* type) { type->~KSTypeDefinition(); }

bool MsvcHostElementIsTypeOf(KGUIElement* element, const char* typeName) { return element->IsTypeOf(typeName); }
void MsvcHostElementRender(KGUIElement* element) { element->Render(); }
void MsvcHostDeleteElement(KGUIElement* element) { delete element; }

} // extern "C"
