// The library's manager: element templates, building element trees from UI files, the
// desktop element that holds every tree it builds, and rendering.
//
// A UI file has the root <ui>. Each <template name="..."> child defines a template: a set
// of attributes that elements naming it fall back on. Every other child is an element,
// its tag the element type, its "name" attribute the element name, its "Template"
// attribute the template to use; nested tags are its children. Children are created
// before their parent's OnCreate runs.
#pragma once

#include <cstdint>

#include "hvui/hvui_api.h"
#include "hvui/xml_node.h"

class KGUIElement;
class KGUIElementFactory;

class HVUI_API CUIManager {
public:
    CUIManager();
    ~CUIManager();
    CUIManager(const CUIManager&) = delete;
    CUIManager& operator=(const CUIManager&) = delete;

    // The template of that name, or none (also for a null or empty name).
    XMLNode FindTemplate(const char* name) const;
    // Adds the file's templates (a later definition of a name replaces the earlier one).
    // Its elements are not built.
    bool LoadTemplates(const char* path);
    bool LoadTemplatesFromText(const char* xml);
    // Adds the file's templates, then builds its elements under `parent` (none: the
    // desktop). Answers false when the file does not parse or any element could not be
    // built; the elements that could be built stay.
    bool LoadLayout(const char* path, KGUIElement* parent = nullptr);
    bool LoadLayoutFromText(const char* xml, KGUIElement* parent = nullptr);

    // Builds the element for `node` and, below it, its children; then the element's
    // OnCreate. Answers none when its type is unknown or the element rejects the node.
    KGUIElement* CreateElementFromXML(KGUIElement* parent, const XMLNode& node);
    // Creates a bare element of a registered type through its factory, or answers none.
    KGUIElement* CreateElement(const char* typeName, KGUIElement* parent, const char* elementName);
    // The factory registered for the type (ASCII case ignored), or none.
    KGUIElementFactory* FindFactory(const char* typeName) const;

    // The root of everything the manager builds. Never none while the manager lives.
    KGUIElement* GetDesktop() const;
    void Render();
    // Destroys every element below the desktop.
    void ClearLayout();
    void ClearTemplates();

    // What went wrong in the last failed load, or "".
    const char* GetLastError() const;

private:
    struct State;
    State* Impl;
};

extern HVUI_API CUIManager g_UIManager;
