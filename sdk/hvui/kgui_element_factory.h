// Element factories: how an extension adds an element type to the GUI library. The
// library keeps one factory per type name; it creates elements of that type through the
// factory and destroys them through the factory's deleter, so an element is always freed
// by the module whose code allocated it.
//
// The virtual operations of both classes are the extension's code and their order is
// fixed; Register and Unregister are the library's.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "hvui/hvui_api.h"
#include "hvui/xml_node.h"

class KGUIElement;

// The version of the element interface this library speaks; Register refuses any other.
constexpr uint32_t KGUIInterfaceVersion = 18;

class KGUIElementDeleter {
public:
    // Calls the element's OnDestroy, then destroys it.
    virtual void DeleteElement(KGUIElement* element) = 0;

protected:
    KGUIElementDeleter() = default;
    ~KGUIElementDeleter() = default;
};

class HVUI_API KGUIElementFactory {
public:
    KGUIElementFactory(const KGUIElementFactory&) = delete;
    KGUIElementFactory& operator=(const KGUIElementFactory&) = delete;

    // Creates an element of this type under `parent` (may be none) and records it as live.
    virtual KGUIElement* CreateElement(KGUIElement* parent, const char* elementName) = 0;
    // Creates an element and reads it from `node` with the template of that name (none
    // or unknown: the element picks its own). Answers none, leaving nothing behind, when
    // the element rejects the node.
    virtual KGUIElement* CreateElementFromXML(KGUIElement* parent, const char* elementName, const XMLNode& node,
                                              const char* templateName) = 0;
    // Forgets the element; answers how many entries went (0 or 1).
    virtual uint32_t ElementDestroyed(KGUIElement* element) { return static_cast<uint32_t>(Elements.erase(element)); }

    // Makes this factory the one for `typeName` (ASCII case ignored). Answers false, and
    // leaves ElementType empty, for an empty name, a name already taken, a factory that is
    // already registered, or a version other than KGUIInterfaceVersion.
    bool Register(const char* typeName, uint32_t version);
    // Withdraws the type, if this factory holds it, and clears ElementType.
    void Unregister();

    std::string ElementType;                 // set by Register
    std::map<KGUIElement*, uint32_t> Elements; // element -> live flag
    KGUIElementDeleter* Deleter = nullptr;

protected:
    KGUIElementFactory() = default;
    ~KGUIElementFactory() = default;
};
