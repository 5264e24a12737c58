// The library's one table of element types: type name -> factory.
#pragma once

class KGUIElementFactory;

namespace hvui {

KGUIElementFactory* FindElementFactory(const char* typeName);
// False when the name is taken.
bool AddElementFactory(const char* typeName, KGUIElementFactory* factory);
// Removes every entry that points at the factory.
void RemoveElementFactory(const KGUIElementFactory* factory);

} // namespace hvui
