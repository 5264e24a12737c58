#include "hvui/kgui_frame.h"

#include "ascii_case.h"

KGUIFrame::KGUIFrame(const char* typeName, KGUIElement* parent, const char* elementName)
    : KGUIElement(typeName, parent, elementName)
{
}

KGUIFrame::~KGUIFrame() = default;

bool KGUIFrame::FromXML(const XMLNode& node, const XMLNode& tmpl)
{
    return KGUIElement::FromXML(node, tmpl);
}

bool KGUIFrame::IsTypeOf(const char* typeName) const
{
    return hvui::EqualsIgnoringAsciiCase(typeName, "frame") || KGUIElement::IsTypeOf(typeName);
}

void KGUIFrame::Render()
{
    KGUIElement::Render();
}
