// An element that shows one line of text, set from its "text" attribute or by SetText.
#pragma once

#include <string>

#include "hvui/kgui_element.h"

class HVUI_API KGUIText : public KGUIElement {
public:
    KGUIText(const char* typeName, KGUIElement* parent, const char* elementName);
    ~KGUIText() override;

    bool FromXML(const XMLNode& node, const XMLNode& tmpl) override;
    bool IsTypeOf(const char* typeName) const override;

    // A null text clears it.
    void SetText(const char* text);
    const char* GetText() const { return Text.c_str(); }

private:
    std::string Text;
};
