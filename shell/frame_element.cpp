#include "shell/frame_element.h"

#include <cstdio>
#include <limits>

#include "client/name_compare.h"
#include "hvui/ui_manager.h"
#include "hvui/xml_helper.h"

namespace {

constexpr const char* kOutputName = "Output";
constexpr const char* kOutputType = "text";

} // namespace

KGUIOBSRemoteFrame::KGUIOBSRemoteFrame(const char* typeName, KGUIElement* parent, const char* elementName)
    : KGUIFrame(typeName, parent, elementName)
{
}

KGUIOBSRemoteFrame::~KGUIOBSRemoteFrame() = default;

bool KGUIOBSRemoteFrame::FromXML(const XMLNode& node, const XMLNode& tmpl)
{
    XMLNode chosen = tmpl;
    if (!chosen) {
        chosen = g_UIManager.FindTemplate(XMLHelper::GetStringAttribute(node, "Template", ""));
        if (!chosen) {
            chosen = g_UIManager.FindTemplate(kOBSRemoteFrameType);
        }
    }
    return KGUIFrame::FromXML(node, chosen);
}

bool KGUIOBSRemoteFrame::IsTypeOf(const char* typeName) const
{
    return NamesEqualIgnoringCase(typeName, kOBSRemoteFrameType) || KGUIFrame::IsTypeOf(typeName);
}

void KGUIOBSRemoteFrame::Render()
{
    // The count stops at its largest value rather than overflowing.
    if (RenderCount < std::numeric_limits<int32_t>::max()) {
        ++RenderCount;
    }
    // The child found at OnCreate may since have left the tree; the pointer is only used
    // while it is still this frame's usable "Output" child.
    if (OutputText) {
        OutputText = dynamic_cast<KGUIText*>(FindUsableChild(kOutputName, kOutputType));
    }
    if (OutputText) {
        char text[256];
        std::snprintf(text, sizeof(text), "This frame has been rendered %d times.", RenderCount);
        OutputText->SetText(text);
    }
    KGUIFrame::Render();
}

void KGUIOBSRemoteFrame::OnCreate()
{
    KGUIFrame::OnCreate();
    OutputText = dynamic_cast<KGUIText*>(FindUsableChild(kOutputName, kOutputType));
}
