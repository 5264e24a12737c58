#include "hvui/kgui_text.h"

#include "ascii_case.h"
#include "element_attributes.h"

KGUIText::KGUIText(const char* typeName, KGUIElement* parent, const char* elementName)
    : KGUIElement(typeName, parent, elementName)
{
}

KGUIText::~KGUIText() = default;

bool KGUIText::FromXML(const XMLNode& node, const XMLNode& tmpl)
{
    if (!KGUIElement::FromXML(node, tmpl))
        return false;
    Text = hvui::ElementAttributes(node, tmpl).Text("text", "");
    return true;
}

bool KGUIText::IsTypeOf(const char* typeName) const
{
    return hvui::EqualsIgnoringAsciiCase(typeName, "text") || KGUIElement::IsTypeOf(typeName);
}

void KGUIText::SetText(const char* text)
{
    Text = text ? text : "";
}
