// The usual factory for an element class T whose constructor takes (type name, parent,
// element name). Its construction registers the type; its destruction withdraws it after
// destroying every element of the type that is still alive. Meant for static objects of
// the module that supplies T. An extension may give its element a factory of its own by
// defining KGUIFactory for that element class.
#pragma once

#include <algorithm>

#include "hvui/kgui_element.h"
#include "hvui/kgui_element_factory.h"
#include "hvui/ui_manager.h"

template <class T>
class KGUIFactory : public KGUIElementFactory {
public:
    KGUIFactory(const char* typeName, uint32_t version)
    {
        Register(typeName, version);
        Deleter = new ElementDeleter;
    }

    ~KGUIFactory()
    {
        if (!ElementType.empty()) {
            // Each round takes the first live entry again: removing one element may remove
            // others of this type below it, so no iterator survives a round.
            for (;;) {
                auto live = std::find_if(Elements.begin(), Elements.end(), [](const auto& e) { return e.second != 0; });
                if (live == Elements.end())
                    break;
                KGUIElement* element = live->first;
                live->second = 0;
                element->OnDestroy();
                if (KGUIElement* parent = element->GetParent())
                    parent->DeleteChild(element);
            }
        }
        Unregister();
        delete static_cast<ElementDeleter*>(Deleter);
        Deleter = nullptr;
        Elements.clear();
    }

    KGUIElement* CreateElement(KGUIElement* parent, const char* elementName) override
    {
        T* element = new T(ElementType.c_str(), parent, elementName);
        Elements[element] = 1;
        return element;
    }

    KGUIElement* CreateElementFromXML(KGUIElement* parent, const char* elementName, const XMLNode& node,
                                      const char* templateName) override
    {
        T* element = new T(ElementType.c_str(), parent, elementName);
        if (!element->FromXML(node, g_UIManager.FindTemplate(templateName))) {
            if (parent)
                parent->DeleteChild(element);
            else
                Deleter->DeleteElement(element);
            return nullptr;
        }
        Elements[element] = 1;
        return element;
    }

private:
    class ElementDeleter final : public KGUIElementDeleter {
    public:
        void DeleteElement(KGUIElement* element) override
        {
            element->OnDestroy();
            delete element;
        }
    };
};
