// A plain container element: the usual base for elements of extensions.
#pragma once

#include "hvui/kgui_element.h"

class HVUI_API KGUIFrame : public KGUIElement {
public:
    KGUIFrame(const char* typeName, KGUIElement* parent, const char* elementName);
    ~KGUIFrame() override;

    bool FromXML(const XMLNode& node, const XMLNode& tmpl) override;
    bool IsTypeOf(const char* typeName) const override;
    void Render() override;
};
